#include "service/rpc/rpc_methods/profile/rpc_profile_list.h"

#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "service/rpc/rpc_types/rpc_type_profile.h"
#include "service/rpc_array.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QDebug>

namespace tarvesk::service {

RpcProfileList::RpcProfileList()
    : AbstractRpcMethod(QStringLiteral("profile.list"))
{ }

QList<RpcRequestParameter> RpcProfileList::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false,
        RpcRequestEnums::TYPE_STRING)};
}

RpcMethodError RpcProfileList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString accessLevel = request->getParam(QStringLiteral("access_level"))->getStringValue();
    QList<core::Item*> items;
    core::ProfileManager::instance().getItemList(items);
    auto* profiles = new RpcArray;
    for (core::Item* item : qAsConst(items)) {
        if (auto* profile = qobject_cast<core::Profile*>(item))
            profiles->addChild(new RpcTypeProfile(profile, accessLevel));
        else
            qWarning().noquote() << "Invalid profile (nullptr) found in list, not added to reply.";
    }
    response->setResultValue(profiles);
    return {};
}

} // namespace tarvesk::service
