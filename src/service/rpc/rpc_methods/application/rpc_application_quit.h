#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.quit": ends the main event loop with 0, which ends the process.
class RpcApplicationQuit : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationQuit();

    QList<RpcRequestParameter> inputParameters() const override { return {}; }
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
