#include "service/rpc/rpc_methods/system/rpc_system_list_methods.h"

#include "service/rpc_array.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcSystemListMethods::RpcSystemListMethods()
    : AbstractRpcMethod(QStringLiteral("system.listMethods"))
{ }

QList<RpcRequestParameter> RpcSystemListMethods::inputParameters() const
{
    return {};
}

RpcMethodError RpcSystemListMethods::handleRequest(RpcRequest*, RpcResponse* response)
{
    auto* names = new RpcArray;
    names->reserve(_commandNames.size());
    for (const QString& name : qAsConst(_commandNames)) {
        if (!_apiMode || name != QLatin1String("device.create"))
            names->addChild(new RpcValue(name));
    }
    response->setResultValue(names);
    return RpcMethodError(0, QString());
}

} // namespace tarvesk::service
