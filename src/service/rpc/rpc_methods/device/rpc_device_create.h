#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::core {
class Universe;
}

namespace tarvesk::service {

// "device.create": a virtual device of a profile type, with no hardware
// behind it, in the one universe "Virtual".
class RpcDeviceCreate : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceCreate();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // The universe "Virtual" of the universe manager, made and added there
    // the first time it is asked for.
    static core::Universe* getVirtualUniverse();
};

} // namespace tarvesk::service
