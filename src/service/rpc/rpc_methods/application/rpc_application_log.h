#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.log": writes a client's message into the service log at a
// chosen level, with "@{" / "@}" markers for groups.
class RpcApplicationLog : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationLog();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
