#include "service/rpc/rpc_methods/device/rpc_device_param_get.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QMutexLocker>

namespace tarvesk::service {

RpcDeviceParamGet::RpcDeviceParamGet()
    : RpcDeviceBase(QStringLiteral("device.param.get"))
{ }

QList<RpcRequestParameter> RpcDeviceParamGet::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_UPDATE, true, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_SUBDEVICE_ID, 0, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
    };
}

RpcMethodError RpcDeviceParamGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    core::IParameter* found = nullptr;
    findParameter(device, request->getParam(QStringLiteral("pid")), &found);
    auto* parameter = qobject_cast<core::Parameter*>(found);
    if (!parameter)
        QM_THROW_JSONRPC(QStringLiteral("Parameter of an unknown kind"), RPC_ERROR_INTERNAL);
    const bool update = updateFlagOf(request);

    QMutexLocker lock(device->getDeviceMutex());
    QVariant value;
    const int status
        = parameter->getValue(value, update ? core::IParameter::UPDATE_YES : core::IParameter::UPDATE_NO);
    if (status != 0) {
        QM_THROW_JSONRPC(QStringLiteral("Communication error while retrieving parameter value: %1")
                             .arg(core::itfErrorToString(status)),
            RPC_ERROR_INTERNAL);
    }
    qCDebug(rpcServerMethod()).noquote() << QStringLiteral("Value retrieved: '%1'").arg(value.toString());
    response->setResultValue(new RpcTypeParameter(parameter));
    return {};
}

} // namespace tarvesk::service
