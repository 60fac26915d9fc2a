#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_list.h"

#include "core/firmware.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "service/rpc/rpc_types/rpc_type_datastore_parameter_array.h"
#include "service/rpc_response.h"

namespace tarvesk::service {

RpcDeviceFirmwareDatastoreList::RpcDeviceFirmwareDatastoreList()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.datastore.list"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareDatastoreList::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 1, false, RpcRequestEnums::TYPE_INTEGER),
    };
}

RpcMethodError RpcDeviceFirmwareDatastoreList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, true);
    response->setResultValue(
        new RpcTypeDatastoreParameterArray(*proxy->getInterfaceFirmwareBuffer().getDataStore(), false));
    return {};
}

} // namespace tarvesk::service
