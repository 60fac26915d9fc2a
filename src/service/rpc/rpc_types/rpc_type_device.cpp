#include "service/rpc/rpc_types/rpc_type_device.h"

#include "core/database/device_info_record.h"
#include "core/device.h"
#include "core/network_interface.h"
#include "core/profile/profile_type.h"
#include "core/universe.h"
#include "service/rpc/rpc_types/rpc_type_universe.h"
#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

const char* const kRecordAttributes[] = {"nordhune_count", "has_10v", "has_dali", "has_aux", "has_dmx", "imd",
    "input_count", "power", "output_type"};

} // namespace

RpcTypeDevice::RpcTypeDevice(core::Device* device)
{
    core::Universe* universe = device->getUniverse();
    core::Device* parent = RpcTypeUniverse::parentDevice(universe);
    core::ProfileType* profileType = device->getProfileType();
    core::DeviceInfoRecord* record = device->getDeviceInfoRecord();
    core::NetworkInterface* itf = device->getInterface();

    addChild(QStringLiteral("device_id"), new RpcValue(device->getId()));
    addChild(QStringLiteral("universe_id"), new RpcValue(universe ? universe->getId() : 0));
    addChild(QStringLiteral("parent_device_id"),
        new RpcValue(parent ? QString::number(parent->getId()) : QString()));
    addChild(QStringLiteral("manufacturer"), new RpcValue(device->getManufacturerString()));
    addChild(QStringLiteral("device_name"), new RpcValue(device->getName()));
    addChild(QStringLiteral("unique_id_string"), new RpcValue(device->getUniqueIDString()));
    addChild(QStringLiteral("state"), new RpcValue(device->getStateString()));
    addChild(QStringLiteral("revision"), new RpcValue(device->getRevisionString()));
    addChild(QStringLiteral("version"), new RpcValue(device->getVersion()));
    addChild(QStringLiteral("subversion"), new RpcValue(device->getSubversion()));
    addChild(QStringLiteral("profile_type"), new RpcValue(profileType ? profileType->getName() : QString()));
    addChild(QStringLiteral("interface_type"),
        new RpcValue(profileType ? profileType->getInterfaceTypeString()
                : itf            ? itf->getInterfaceTypeString()
                                 : QString()));
    addChild(QStringLiteral("output_count"), new RpcValue(record ? record->getOutputCount() : 0));
    addChild(QStringLiteral("device_class"), new RpcValue(device->getDeviceClass()));
    addChild(QStringLiteral("oem_id"), new RpcValue(device->getOemId()));
    addChild(QStringLiteral("product_id"), new RpcValue(device->getProductId()));

    if (record) {
        const QString formFactor = device->hasCapability(core::Device::CAP_VD_FORMFACTOR)
            ? device->getFormFactorString()
            : QStringLiteral("Unknown");
        addChild(QStringLiteral("form_factor"), new RpcValue(formFactor));
        for (const char* name : kRecordAttributes)
            addChild(
                QString::fromLatin1(name), new RpcValue(record->getAttribute(QString::fromLatin1(name))));
        auto* features = new RpcArray;
        for (const std::string& feature : record->getFeatures())
            features->addChild(new RpcValue(QString::fromStdString(feature)));
        addChild(QStringLiteral("features"), features);
    }

    auto* rawInterfaces = new RpcArray;
    for (auto it = device->rawInterfaceBegin(); it != device->rawInterfaceEnd(); ++it)
        rawInterfaces->addChild(new RpcValue(it.key()));
    addChild(QStringLiteral("raw_parameter_interfaces"), rawInterfaces);

    auto* capabilities = new RpcArray;
    for (auto it = device->capabilitiesBegin(); it != device->capabilitiesEnd(); ++it)
        capabilities->addChild(new RpcValue(core::Device::capabilityToString(*it)));
    addChild(QStringLiteral("capabilities"), capabilities);

    auto* children = new RpcArray;
    for (core::Universe* child : device->getChildUniverses())
        children->addChild(new RpcTypeUniverse(child));
    addChild(QStringLiteral("child_universes"), children);
}

} // namespace tarvesk::service
