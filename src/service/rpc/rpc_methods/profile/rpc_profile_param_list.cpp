#include "service/rpc/rpc_methods/profile/rpc_profile_param_list.h"

#include "core/parameters/iparameter.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <algorithm>
#include <vector>

namespace tarvesk::service {

namespace {

// The access levels left out of the list for the requested one.
QStringList excludedLevels(const QString& requested)
{
    if (requested == QLatin1String("user_basic"))
        return {QStringLiteral("dev"), QStringLiteral("user_advanced")};
    if (requested == QLatin1String("user_advanced"))
        return {QStringLiteral("dev")};
    return {};
}

} // namespace

RpcProfileParamList::RpcProfileParamList()
    : AbstractRpcMethod(QStringLiteral("profile.param.list"))
{ }

QList<RpcRequestParameter> RpcProfileParamList::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false),
    };
}

RpcMethodError RpcProfileParamList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QStringList excluded
        = excludedLevels(request->getParam(QStringLiteral("access_level"))->getStringValue());
    core::Profile* profile = profile_support::requireProfile(
        request->getParam(QStringLiteral("profile_name"))->getStringValue());
    std::vector<core::IParameter*> kept;
    for (auto it = profile->parameterBegin(); it != profile->parameterEnd(); ++it) {
        core::IParameter* parameter = it.value();
        if (!excluded.contains(parameter->getAccessLevel()) && parameter->isEnabled())
            kept.push_back(parameter);
    }
    std::stable_sort(kept.begin(), kept.end(), core::paramLessThan);
    response->setResultValue(new RpcTypeParameterArray(kept));
    return {};
}

} // namespace tarvesk::service
