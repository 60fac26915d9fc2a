#include "service/rpc/rpc_methods/universe/rpc_universe_list.h"

#include "core/universe.h"
#include "core/universe_manager.h"
#include "service/rpc/rpc_types/rpc_type_universe.h"
#include "service/rpc_array.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcUniverseList::RpcUniverseList()
    : AbstractRpcMethod(QStringLiteral("universe.list"))
{ }

QList<RpcRequestParameter> RpcUniverseList::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("all"), false)};
}

RpcMethodError RpcUniverseList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    QVariant wanted; // invalid: every universe
    if (RpcValue* type = request->getParam(QStringLiteral("interface_type"))) {
        const QString text = type->getStringValue();
        if (text.toLower() != QLatin1String("all"))
            wanted = text;
    }
    QList<core::Item*> items;
    core::UniverseManager::instance().getItemListByAttribute(items, QStringLiteral("interface_type"), wanted);
    auto* result = new RpcArray;
    for (core::Item* item : qAsConst(items)) {
        if (auto* universe = qobject_cast<core::Universe*>(item))
            result->addChild(new RpcTypeUniverse(universe));
    }
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
