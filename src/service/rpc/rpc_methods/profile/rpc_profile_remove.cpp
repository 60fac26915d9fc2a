#include "service/rpc/rpc_methods/profile/rpc_profile_remove.h"

#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcProfileRemove::RpcProfileRemove()
    : AbstractRpcMethod(QStringLiteral("profile.remove"))
{ }

QList<RpcRequestParameter> RpcProfileRemove::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), false, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PROFILE_NAMES, QVariant(), false, RpcRequestEnums::TYPE_STRING_ARRAY),
    };
}

void RpcProfileRemove::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    profile_support::requireOneOf(
        request, QStringLiteral("profile_name"), QStringLiteral("profile_names"), getName());
}

RpcMethodError RpcProfileRemove::handleRequest(RpcRequest* request, RpcResponse* response)
{
    QStringList names;
    if (RpcValue* one = request->getParam(QStringLiteral("profile_name"))) {
        if (!one->getStringValue().isEmpty())
            names << one->getStringValue();
    } else if (RpcArray* many = request->getParam(QStringLiteral("profile_names"))->getArrayValue()) {
        for (auto it = many->begin(); it != many->end(); ++it) {
            if ((*it)->getType() == RpcValue::RPC_VALUE_STRING)
                names << (*it)->getStringValue();
        }
    }

    auto* deleted = new RpcArray;
    auto* notFound = new RpcArray;
    for (const QString& name : qAsConst(names)) {
        core::Profile* profile = profile_support::findProfile(name);
        if (profile && core::ProfileManager::instance().remove(profile, false))
            deleted->addChild(new RpcValue(name));
        else
            notFound->addChild(new RpcValue(name));
    }
    auto* result = new RpcObject;
    result->addChild(QStringLiteral("deleted"), deleted);
    result->addChild(QStringLiteral("notFound"), notFound);
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
