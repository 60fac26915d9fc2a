#pragma once

#include "service/rpc_object.h"

#include <QString>

namespace tarvesk::service {

class RpcValue;

// The reply of an action: {"status": ..., "status_text": ...}.
class RpcTypeActionResult : public RpcObject
{
public:
    RpcTypeActionResult(const QString& status, const QString& statusText);
    // Takes both values over as they are (null is written as JSON null).
    RpcTypeActionResult(RpcValue* status, RpcValue* statusText);
};

} // namespace tarvesk::service
