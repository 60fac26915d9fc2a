#pragma once

#include "service/rpc_object.h"

namespace tarvesk::core {
class Device;
class Universe;
} // namespace tarvesk::core

namespace tarvesk::service {

// One universe: {"universe_id", "parent_device_id", "universe_name",
// "interface_type", "parent_device_name"}. A universe without an interface of
// its default type gives "" in the last three interface-derived keys.
class RpcTypeUniverse : public RpcObject
{
public:
    explicit RpcTypeUniverse(core::Universe* universe);

    // The device that owns the universe's default interface, or null.
    static core::Device* parentDevice(core::Universe* universe);
};

} // namespace tarvesk::service
