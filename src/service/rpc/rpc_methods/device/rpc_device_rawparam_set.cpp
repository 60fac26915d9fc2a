#include "service/rpc/rpc_methods/device/rpc_device_rawparam_set.h"

#include "core/device.h"
#include "core/network_resolution.h"
#include "core/parameters/raw_parameter_interface.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_raw_send_result.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcDeviceRawParamSet::RpcDeviceRawParamSet()
    : RpcDeviceRawParamBase(QStringLiteral("device.rawparam.set"))
{ }

QList<RpcRequestParameter> RpcDeviceRawParamSet::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_UNIVERSE_ID, QVariant(), false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_PARAM_TYPE, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_ADDRESS, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_VALUE, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_RESOLUTION, QStringLiteral("8 bit"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_RESET, false, false, RpcRequestEnums::TYPE_BOOL),
    };
}

RpcMethodError RpcDeviceRawParamSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    std::unique_ptr<core::Device> temporary;
    core::Device* device = targetDevice(request, temporary);
    core::RawParameterInterface* itf = rawInterface(device, request, RPC_ERROR_INTERNAL);
    const int address = addressOf(request);
    const int value = request->getParam(QStringLiteral("value"))->getIntegerValue();

    // A width the client did not spell out as text would be a guess, and a
    // word written where a byte was meant overwrites the byte beside it.
    RpcValue* resolution = request->getParam(QStringLiteral("resolution"));
    if (!resolution || resolution->getType() != RpcValue::RPC_VALUE_STRING) {
        QM_THROW_JSONRPC(QStringLiteral("Invalid value for 'resolution': \"8 bit\" or \"16 bit\" expected"),
            RPC_ERROR_INVALID_PARAMS);
    }
    const bool word = resolution->getStringValue() == QLatin1String("16 bit");
    const int widest = word ? 0xFFFF : 0xFF;
    if (value < 0 || value > widest) {
        QM_THROW_JSONRPC(
            QStringLiteral("Value %1 does not fit the access width: 0 to %2").arg(value).arg(widest),
            RPC_ERROR_INVALID_PARAMS);
    }

    const int status
        = itf->setParameter(word ? core::ITF_RES_WORD : core::ITF_RES_BYTE, address, unsigned(value));
    response->setResultValue(new RpcTypeRawSendResult(statusText(status), value, status));
    return {};
}

} // namespace tarvesk::service
