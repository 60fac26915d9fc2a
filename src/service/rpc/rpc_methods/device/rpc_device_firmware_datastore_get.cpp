#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_get.h"

#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcDeviceFirmwareDatastoreGet::RpcDeviceFirmwareDatastoreGet()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.datastore.get"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareDatastoreGet::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 1, false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
    };
}

RpcMethodError RpcDeviceFirmwareDatastoreGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString pid = request->getParam(QStringLiteral("pid"))->getStringValue();
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, false);
    if (!proxy) {
        QM_THROW_JSONRPC(QStringLiteral("No bootloader proxy channel found to communicate with device."),
            RPC_ERROR_INTERNAL);
    }
    core::Parameter* parameter
        = proxy->getInterfaceFirmwareBuffer().getDataStore()->getDatastoreParameters().value(pid);
    if (!parameter)
        QM_THROW_JSONRPC(QStringLiteral("paramater '%1' not available").arg(pid), RPC_ERROR_INVALID_PARAMS);
    response->setResultValue(new RpcTypeParameter(parameter));
    return {};
}

} // namespace tarvesk::service
