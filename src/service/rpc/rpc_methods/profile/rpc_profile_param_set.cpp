#include "service/rpc/rpc_methods/profile/rpc_profile_param_set.h"

#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <stdexcept>

namespace tarvesk::service {

RpcProfileParamSet::RpcProfileParamSet()
    : AbstractRpcMethod(QStringLiteral("profile.param.set"))
{ }

QList<RpcRequestParameter> RpcProfileParamSet::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_VALUE, QVariant(), true),
    };
}

RpcMethodError RpcProfileParamSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString name = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    core::Profile* profile = profile_support::requireProfile(name);
    const QString pid = request->getParam(QStringLiteral("pid"))->getStringValue();
    auto* parameter = dynamic_cast<core::Parameter*>(profile->getParameter(pid));
    if (!parameter) {
        QM_THROW_JSONRPC(QStringLiteral("no param '%1' available in profile '%2'").arg(pid, name),
            RPC_ERROR_INVALID_PARAMS);
    }

    const QVariant held = parameter->getActualValue();
    int status = 0;
    try {
        status = parameter->setScaledValue(
            request->getParam(QStringLiteral("value"))->getVariantValue(), core::IParameter::UPDATE_NO);
    } catch (const std::runtime_error& e) {
        // A value the parameter cannot hold is the client's error, and the
        // profile keeps what it had.
        parameter->setActualValue(held);
        QM_THROW_JSONRPC(
            QStringLiteral("Invalid value for parameter %1: %2").arg(pid, QString::fromUtf8(e.what())),
            RPC_ERROR_INVALID_PARAMS);
    }
    if (status != 0) {
        parameter->setActualValue(held);
        QM_THROW_JSONRPC(
            QStringLiteral("Could not set data for parameter %1, communication error occur").arg(pid),
            RPC_ERROR_INTERNAL);
    }
    response->setResultValue(new RpcTypeParameter(parameter));
    return {};
}

} // namespace tarvesk::service
