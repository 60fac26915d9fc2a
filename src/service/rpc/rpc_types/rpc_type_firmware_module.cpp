#include "service/rpc/rpc_types/rpc_type_firmware_module.h"

#include "core/firmware_module.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

// The firmware families at the two device addresses that carry one.
const QString& familyPresmonde()
{
    static const QString name = QStringLiteral("Presmonde");
    return name;
}

const QString& familyOstrevanne()
{
    static const QString name = QStringLiteral("Ostrevanne");
    return name;
}

// The number under the key truncated toward zero; false when the key is
// missing or holds no number that fits an int.
bool integerOf(const RpcObject& object, const char* key, int& out)
{
    RpcValue* value = object.child(QLatin1String(key));
    bool ok = false;
    if (value)
        out = value->toInteger(&ok);
    return ok;
}

} // namespace

RpcTypeFirmwareModule::RpcTypeFirmwareModule(const core::FirmwareModule* module, unsigned char deviceAddress)
{
    addChild(QStringLiteral("module_version"), new RpcValue(module->getModuleVersion()));
    addChild(QStringLiteral("module_subversion"), new RpcValue(module->getModuleSubversion()));
    addChild(QStringLiteral("module_size"), new RpcValue(module->getModuleSize()));
    addChild(QStringLiteral("module_page"), new RpcValue(module->getModulePage()));
    addChild(QStringLiteral("module_id"), new RpcValue(module->getModuleId()));
    addChild(QStringLiteral("module_name"), new RpcValue(module->getModuleName()));
    addChild(QStringLiteral("start_address"), new RpcValue(module->getStartAddress()));
    addChild(QStringLiteral("end_address"), new RpcValue(module->getEndAddress()));
    addChild(QStringLiteral("module_encryption"), new RpcValue(module->getEncryptionType()));
    addChild(QStringLiteral("device_address"), new RpcValue(int(deviceAddress)));
    addChild(QStringLiteral("module_subsection"), new RpcValue(module->getModuleSubsectionStart()));
    addChild(QStringLiteral("raw_filename"), new RpcValue(module->getFileName()));
    addChild(QStringLiteral("comment"), new RpcValue(module->getComment()));
    addChild(QStringLiteral("debug_version"), new RpcValue(module->isDebugVersion()));
    if (deviceAddress == 0)
        addChild(QStringLiteral("device_name"), new RpcValue(familyPresmonde()));
    else if (deviceAddress == 4)
        addChild(QStringLiteral("device_name"), new RpcValue(familyOstrevanne()));
}

core::FirmwareModule* RpcTypeFirmwareModule::fromRpcObject() const
{
    return fromRpcObject(*this);
}

core::FirmwareModule* RpcTypeFirmwareModule::fromRpcObject(const RpcObject& object)
{
    int id = 0;
    int size = 0;
    int version = 0;
    int subversion = 0;
    if (!integerOf(object, "module_id", id) || !integerOf(object, "module_size", size)
        || !integerOf(object, "module_version", version)
        || !integerOf(object, "module_subversion", subversion))
        return nullptr;
    auto* module = new core::FirmwareModule(nullptr);
    module->setModuleId(id);
    module->setModuleSize(size);
    module->setModuleVersion(version);
    module->setModuleSubversion(subversion);
    int address = 0;
    if (integerOf(object, "start_address", address))
        module->setStartAddress(address);
    if (integerOf(object, "end_address", address))
        module->setEndAddress(address);
    if (RpcValue* name = object.child(QStringLiteral("raw_filename")))
        module->fromFileNameString(name->getStringValue());
    if (RpcValue* encryption = object.child(QStringLiteral("module_encryption")))
        module->setEncryptionType(encryption->getStringValue());
    return module;
}

} // namespace tarvesk::service
