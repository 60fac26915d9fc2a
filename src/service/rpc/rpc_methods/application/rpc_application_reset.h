#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.reset": drops the top-level devices from their universes and
// clears the loaded profiles, without a restart.
class RpcApplicationReset : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationReset();

    QList<RpcRequestParameter> inputParameters() const override { return {}; }
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
