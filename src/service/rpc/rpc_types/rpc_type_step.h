#pragma once

#include "service/rpc_object.h"

namespace tarvesk::core {
class Step;
}

namespace tarvesk::service {

// One programming step with its name, result and elapsed milliseconds, and
// its child steps (nested the same way) when it has any.
class RpcTypeStep : public RpcObject
{
public:
    explicit RpcTypeStep(const core::Step* step);
};

} // namespace tarvesk::service
