#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.restart": ends the main event loop with 1337, which makes the
// program build itself again in the same process.
class RpcApplicationRestart : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationRestart();

    QList<RpcRequestParameter> inputParameters() const override { return {}; }
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
