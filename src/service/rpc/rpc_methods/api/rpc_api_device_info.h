#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "uut.device.info": finds the unit under test. Searches the USB universe,
// then the universes of the requested bus ("dorvane" or "dmx"), and answers
// the id and name of the last listed device on that bus, or {} when none is.
class RpcApiDeviceInfo : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApiDeviceInfo();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
