#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "universe.list": the universes, all of them or those of one interface type.
class RpcUniverseList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcUniverseList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
