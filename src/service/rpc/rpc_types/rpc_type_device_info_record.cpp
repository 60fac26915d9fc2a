#include "service/rpc/rpc_types/rpc_type_device_info_record.h"

#include "core/database/device_info_database.h"
#include "core/database/device_info_record.h"
#include "core/database/oem_info_record.h"
#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

// The interfaces for which a product has a profile type.
bool isProfileInterface(const std::string& text)
{
    return text == "DMX" || text == "DORVANE" || text == "DORVANE_WY" || text == "SPI";
}

} // namespace

RpcTypeDeviceInfoRecord::RpcTypeDeviceInfoRecord(const std::shared_ptr<core::DeviceInfoDatabase>& database,
    const std::shared_ptr<core::DeviceInfoRecord>& record)
{
    addChild(
        QStringLiteral("product_group"), new RpcValue(QString::fromStdString(record->getProductGroup())));
    addChild(QStringLiteral("product_id"), new RpcValue(int(record->getProductId())));
    addChild(QStringLiteral("name"), new RpcValue(QString::fromStdString(record->getProductName())));
    addChild(QStringLiteral("profile_support"), new RpcValue(record->hasProfileSupport()));
    addChild(QStringLiteral("device_class"), new RpcValue(int(record->getDeviceClass())));
    std::shared_ptr<core::OemInfoRecord> oem
        = database ? database->getOemRecord(record->getOemId()) : nullptr;
    addChild(QStringLiteral("oem"), new RpcValue(oem ? QString::fromStdString(oem->getName()) : QString()));

    auto* profiles = new RpcArray;
    for (const std::string& text : record->getInterfaceTypes()) {
        if (!isProfileInterface(text))
            continue;
        auto* entry = new RpcObject;
        entry->addChild(QStringLiteral("type"),
            new RpcValue(QString::fromStdString(
                record->getProfileName(core::DeviceInfoRecord::interfaceStringToEnum(text)))));
        entry->addChild(QStringLiteral("interface_type"), new RpcValue(QString::fromStdString(text)));
        profiles->addChild(entry);
    }
    addChild(QStringLiteral("profiles"), profiles);
}

} // namespace tarvesk::service
