#include "service/rpc/rpc_methods/profile/rpc_profile_update.h"

#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcProfileUpdate::RpcProfileUpdate()
    : AbstractRpcMethod(QStringLiteral("profile.update"))
{ }

QList<RpcRequestParameter> RpcProfileUpdate::inputParameters() const
{
    return {RpcRequestParameter(
        RpcRequestEnums::PARAM_PROFILE_DATA, QStringLiteral("{}"), true, RpcRequestEnums::TYPE_STRING)};
}

RpcMethodError RpcProfileUpdate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    response->setResultValue(new RpcValue(profile_support::profileObjectOf(
        request->getParam(QStringLiteral("profile_data"))->getStringValue())));
    return {};
}

} // namespace tarvesk::service
