#pragma once

#include "service/rpc_object.h"

namespace tarvesk::core {
class Device;
}

namespace tarvesk::service {

// One device, with its product record's attributes when it has one, its raw
// parameter interfaces, capabilities and child universes.
class RpcTypeDevice : public RpcObject
{
public:
    explicit RpcTypeDevice(core::Device* device);
};

} // namespace tarvesk::service
