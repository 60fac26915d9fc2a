#include "service/rpc/rpc_types/rpc_type_action_result.h"

#include "service/rpc_value.h"

namespace tarvesk::service {

RpcTypeActionResult::RpcTypeActionResult(const QString& status, const QString& statusText)
{
    addChild(QStringLiteral("status"), new RpcValue(status));
    addChild(QStringLiteral("status_text"), new RpcValue(statusText));
}

RpcTypeActionResult::RpcTypeActionResult(RpcValue* status, RpcValue* statusText)
{
    addChild(QStringLiteral("status"), status);
    addChild(QStringLiteral("status_text"), statusText);
}

} // namespace tarvesk::service
