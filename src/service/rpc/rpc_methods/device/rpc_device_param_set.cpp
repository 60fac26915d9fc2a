#include "service/rpc/rpc_methods/device/rpc_device_param_set.h"

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

#include <stdexcept>

namespace tarvesk::service {

namespace {

constexpr int Attempts = 3;

} // namespace

RpcDeviceParamSet::RpcDeviceParamSet()
    : RpcDeviceBase(QStringLiteral("device.param.set"))
{ }

QList<RpcRequestParameter> RpcDeviceParamSet::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_VALUE, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_SUBDEVICE_ID, 0, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
    };
}

RpcMethodError RpcDeviceParamSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    core::IParameter* found = nullptr;
    const QString pid = request->getParam(QStringLiteral("pid"))->getStringValue();
    findParameter(device, request->getParam(QStringLiteral("pid")), &found);
    auto* parameter = qobject_cast<core::Parameter*>(found);
    if (!parameter)
        QM_THROW_JSONRPC(QStringLiteral("Parameter of an unknown kind"), RPC_ERROR_INTERNAL);

    RpcValue* given = request->getParam(QStringLiteral("value"));
    const QString typeName = parameter->getParameterTypeShortString();
    const QString foundType = given->getTypeString();
    if (!given->isType(typeName)) {
        QM_THROW_JSONRPC(
            QStringLiteral("Could not resolve parameter '%1'' value, expected type '%2', found '%3'")
                .arg(parameter->getIdentifier(), typeName, foundType),
            RPC_ERROR_INVALID_PARAMS);
    }
    const QVariant value = given->getVariantValue();

    QMutexLocker lock(device->getDeviceMutex());
    int status = 0;
    for (int attempt = Attempts; attempt >= 1; --attempt) {
        qCDebug(rpcServerMethod()).noquote()
            << QStringLiteral("setting value for parameter %1, attempt %2").arg(pid).arg(attempt);
        try {
            status = parameter->setScaledValue(value, core::IParameter::UPDATE_YES);
        } catch (const std::runtime_error& e) { // a value the parameter cannot hold
            QM_THROW_JSONRPC(QString::fromUtf8(e.what()), RPC_ERROR_INVALID_PARAMS);
        }
        qCDebug(rpcServerMethod()).noquote()
            << QStringLiteral("setting value for parameter %1 (error code: %2): %3")
                   .arg(pid)
                   .arg(status)
                   .arg(value.toString());
        if (status == 0)
            break;
    }
    if (status == core::ITF_ERR_NO_DEVICE)
        throwConnectionLost(device);
    if (status != 0)
        QM_THROW_JSONRPC(QStringLiteral("Communication error : %1").arg(core::itfErrorToString(status)),
            RPC_ERROR_INTERNAL);
    response->setResultValue(new RpcTypeParameter(parameter));
    return {};
}

} // namespace tarvesk::service
