#include "service/rpc/rpc_methods/device/rpc_device_rawparam_get.h"

#include "core/device.h"
#include "core/network_resolution.h"
#include "core/parameters/raw_parameter_interface.h"
#include "log/logging_categories.h"
#include "service/rpc/rpc_types/rpc_type_raw_send_result.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcDeviceRawParamGet::RpcDeviceRawParamGet()
    : RpcDeviceRawParamBase(QStringLiteral("device.rawparam.get"))
{ }

QList<RpcRequestParameter> RpcDeviceRawParamGet::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_UNIVERSE_ID, QVariant(), false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_PARAM_TYPE, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_ADDRESS, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_RESOLUTION, QStringLiteral("8 bit"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_RESET, false, false, RpcRequestEnums::TYPE_BOOL),
    };
}

RpcMethodError RpcDeviceRawParamGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    std::unique_ptr<core::Device> temporary;
    core::Device* device = targetDevice(request, temporary);
    core::RawParameterInterface* itf = rawInterface(device, request, RPC_ERROR_INVALID_PARAMS);
    const int address = addressOf(request);
    RpcValue* resolution = request->getParam(QStringLiteral("resolution"));
    const bool word = resolution && resolution->getType() == RpcValue::RPC_VALUE_STRING
        && resolution->getStringValue() == QLatin1String("16 bit");

    unsigned int value = 0;
    const int status = itf->getParameter(word ? core::ITF_RES_WORD : core::ITF_RES_BYTE, address, value);
    if (status == 0) {
        qCDebug(rpcServerMethod()).noquote()
            << QStringLiteral("Value: %1 (0x%2)").arg(value).arg(value, 4, 16, QLatin1Char('0'));
    }
    response->setResultValue(new RpcTypeRawSendResult(statusText(status), int(value), status));
    return {};
}

} // namespace tarvesk::service
