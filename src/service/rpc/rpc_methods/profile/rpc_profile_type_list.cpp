#include "service/rpc/rpc_methods/profile/rpc_profile_type_list.h"

#include "service/database/abstract_database.h"
#include "service/rpc_array.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <algorithm>

namespace tarvesk::service {

RpcProfileTypeList::RpcProfileTypeList()
    : AbstractRpcMethod(QStringLiteral("profile.type.list"))
{ }

QList<RpcRequestParameter> RpcProfileTypeList::inputParameters() const
{
    return {};
}

RpcMethodError RpcProfileTypeList::handleRequest(RpcRequest*, RpcResponse* response)
{
    QStringList names = _database ? _database->profileTypeNames() : QStringList();
    // By code unit, which for these names is their byte order.
    std::sort(names.begin(), names.end());
    auto* result = new RpcArray;
    for (const QString& name : qAsConst(names))
        result->addChild(new RpcValue(name));
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
