#include "service/rpc/rpc_methods/profile/rpc_profile_param_get.h"

#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcProfileParamGet::RpcProfileParamGet()
    : AbstractRpcMethod(QStringLiteral("profile.param.get"))
{ }

QList<RpcRequestParameter> RpcProfileParamGet::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
    };
}

RpcMethodError RpcProfileParamGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString name = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    const QString pid = request->getParam(QStringLiteral("pid"))->getStringValue();
    core::Profile* profile = profile_support::requireProfile(name);
    if (profile->getParameterCount() == 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("profile '%1' has no parameters. database may be corrupted!").arg(name),
            RPC_ERROR_INTERNAL);
    }
    auto* parameter = dynamic_cast<core::Parameter*>(profile->getParameter(pid));
    if (!parameter) {
        QM_THROW_JSONRPC(QStringLiteral("no param '%1' available in profile '%2'").arg(pid, name),
            RPC_ERROR_INVALID_PARAMS);
    }
    QVariant value;
    if (parameter->getValue(value, core::IParameter::UPDATE_NO) != 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("Could not retrieve data for parameter %1, communication error occur").arg(pid),
            RPC_ERROR_INTERNAL);
    }
    response->setResultValue(new RpcTypeParameter(parameter));
    return {};
}

} // namespace tarvesk::service
