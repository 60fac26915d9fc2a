#include "service/rpc/rpc_methods/rpc_method_factory.h"

#include "service/rpc/rpc_methods/api/rpc_api_device_convert_rb57.h"
#include "service/rpc/rpc_methods/api/rpc_api_device_info.h"
#include "service/rpc/rpc_methods/api/rpc_api_profile_program.h"
#include "service/rpc/rpc_methods/api/rpc_api_profile_verify.h"
#include "service/rpc/rpc_methods/api/rpc_api_profiles_list.h"
#include "service/rpc/rpc_methods/application/rpc_application_log.h"
#include "service/rpc/rpc_methods/application/rpc_application_param_get.h"
#include "service/rpc/rpc_methods/application/rpc_application_param_list.h"
#include "service/rpc/rpc_methods/application/rpc_application_param_set.h"
#include "service/rpc/rpc_methods/application/rpc_application_quit.h"
#include "service/rpc/rpc_methods/application/rpc_application_reset.h"
#include "service/rpc/rpc_methods/application/rpc_application_restart.h"
#include "service/rpc/rpc_methods/database/rpc_database_module_get.h"
#include "service/rpc/rpc_methods/database/rpc_database_module_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_create.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_bl_spam.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_read.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_write.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_do.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_modules_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_rawparam_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_upload.h"
#include "service/rpc/rpc_methods/device/rpc_device_flash_read.h"
#include "service/rpc/rpc_methods/device/rpc_device_flash_write.h"
#include "service/rpc/rpc_methods/device/rpc_device_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_log.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_params_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_ping.h"
#include "service/rpc/rpc_methods/device/rpc_device_profile_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_rawparam_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_rawparam_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_type_list.h"
#include "service/rpc/rpc_methods/lightshape/rpc_lightshape_profile_create.h"
#include "service/rpc/rpc_methods/lightshape/rpc_lightshape_profile_verify.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_duplicate.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_load.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_get.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_set.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_remove.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_save.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_type_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_type_param_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_type_param_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_update.h"
#include "service/rpc/rpc_methods/protocol/rpc_dali_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_dmx_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_dorvane_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_spi_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_usb_send.h"
#include "service/rpc/rpc_methods/system/rpc_system_list_methods.h"
#include "service/rpc/rpc_methods/system/rpc_system_method_params_list.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_list.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "service/string_exception.h"

namespace tarvesk::service {

namespace {

template <class Method> AbstractRpcMethod* make()
{
    return new Method;
}

struct MethodEntry
{
    const char* name;
    // Null until the method's class exists; the name then fails like a
    // name without a class.
    AbstractRpcMethod* (*create)();
};

// Every method name with its class, in the order in which names are compared.
const MethodEntry methodTable[] = {
    {"system.listMethods", &make<RpcSystemListMethods>},
    {"system.method.params.list", &make<RpcSystemMethodParamsList>},
    {"lightshape.profile.create", &make<RpcLightshapeProfileCreate>},
    {"lightshape.profile.verify", &make<RpcLightshapeProfileVerify>},
    {"uut.device.info", &make<RpcApiDeviceInfo>},
    {"uut.device.convert.rb57", &make<RpcApiDeviceConvertToRB57>},
    {"uut.profiles.list", &make<RpcApiProfilesList>}, {"uut.profile.program", &make<RpcApiProfileProgram>},
    {"uut.profile.verify", &make<RpcApiProfileVerify>}, {"application.log", &make<RpcApplicationLog>},
    {"application.param.get", &make<RpcApplicationParamGet>},
    {"application.param.set", &make<RpcApplicationParamSet>},
    {"application.param.list", &make<RpcApplicationParamList>},
    {"application.restart", &make<RpcApplicationRestart>}, {"application.reset", &make<RpcApplicationReset>},
    {"application.quit", &make<RpcApplicationQuit>},
    {"device.firmware.upload", &make<RpcDeviceFirmwareUpload>},
    {"device.firmware.blspam", &make<RpcDeviceFirmwareBlSpam>},
    {"device.firmware.datastore.read", &make<RpcDeviceFirmwareDatastoreRead>},
    {"device.firmware.datastore.write", &make<RpcDeviceFirmwareDatastoreWrite>},
    {"device.firmware.datastore.get", &make<RpcDeviceFirmwareDatastoreGet>},
    {"device.firmware.datastore.set", &make<RpcDeviceFirmwareDatastoreSet>},
    {"device.firmware.rawparam.get", &make<RpcDeviceFirmwareRawParamGet>},
    {"device.firmware.modules.list", &make<RpcDeviceFirmwareModulesList>},
    {"device.firmware.do", &make<RpcDeviceFirmwareDo>},
    {"device.firmware.datastore.list", &make<RpcDeviceFirmwareDatastoreList>},
    {"device.flash.write", &make<RpcDeviceFlashWrite>}, {"device.flash.read", &make<RpcDeviceFlashRead>},
    {"device.create", &make<RpcDeviceCreate>}, {"device.list", &make<RpcDeviceList>},
    {"device.param.get", &make<RpcDeviceParamGet>}, {"device.param.set", &make<RpcDeviceParamSet>},
    {"device.params.set", &make<RpcDeviceParamsSet>}, {"device.param.list", &make<RpcDeviceParamList>},
    {"device.rawparam.get", &make<RpcDeviceRawParamGet>},
    {"device.rawparam.set", &make<RpcDeviceRawParamSet>}, {"device.profile.set", &make<RpcDeviceProfileSet>},
    {"device.type.list", &make<RpcDeviceTypeList>}, {"device.log", &make<RpcDeviceLog>},
    {"device.log.get", &make<RpcDeviceLogGet>}, {"device.ping", &make<RpcDevicePing>},
    {"profile.create", &make<RpcProfileCreate>}, {"profile.remove", &make<RpcProfileRemove>},
    {"profile.list", &make<RpcProfileList>}, {"profile.type.list", &make<RpcProfileTypeList>},
    {"profile.type.param.create", &make<RpcProfileTypeParamCreate>},
    {"profile.type.param.list", &make<RpcProfileTypeParamList>},
    {"profile.param.list", &make<RpcProfileParamList>}, {"profile.param.get", &make<RpcProfileParamGet>},
    {"profile.param.set", &make<RpcProfileParamSet>}, {"profile.update", &make<RpcProfileUpdate>},
    {"profile.duplicate", &make<RpcProfileDuplicate>}, {"profile.param.create", &make<RpcProfileParamCreate>},
    {"profile.load", &make<RpcProfileLoad>}, {"profile.save", &make<RpcProfileSave>},
    {"dali.send", &make<RpcDaliSend>}, {"dmx.send", &make<RpcDmxSend>},
    {"dorvane.send", &make<RpcDorvaneSend>}, {"spi.send", &make<RpcSpiSend>}, {"usb.send", &make<RpcUsbSend>},
    {"universe.search", &make<RpcUniverseSearch>}, {"universe.list", &make<RpcUniverseList>},
    {"database.module.list", &make<RpcDatabaseModuleList>}, // RpcDatabaseModuleList
    {"database.module.get", &make<RpcDatabaseModuleGet>},   // RpcDatabaseModuleGet
};

} // namespace

QStringList RpcMethodCachedFactory::tableNames()
{
    QStringList names;
    for (const MethodEntry& entry : methodTable)
        names.append(QString::fromLatin1(entry.name));
    return names;
}

AbstractRpcMethod* RpcMethodCachedFactory::createMethodForName(const QString& name)
{
    for (const MethodEntry& entry : methodTable) {
        if (name == QLatin1String(entry.name) && entry.create)
            return entry.create();
    }
    QM_THROW_STRING(QStringLiteral("missing implementation for creation of method '%1'").arg(name));
}

} // namespace tarvesk::service
