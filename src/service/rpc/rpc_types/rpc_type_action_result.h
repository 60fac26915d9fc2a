#pragma once

#include "service/rpc_object.h"

#include <QString>

namespace tarvesk::service {

// The reply of an action: {"status": ..., "status_text": ...}.
class RpcTypeActionResult : public RpcObject
{
public:
    RpcTypeActionResult(const QString& status, const QString& statusText);
};

} // namespace tarvesk::service
