#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "uut.profile.program": writes a loaded profile into the unit under test by
// running "device.profile.set" in process, once the unit's profile type is the
// profile's.
class RpcApiProfileProgram : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApiProfileProgram();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
