#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.remove": removes profiles from the store by name (case ignored) and says which names it found.
class RpcProfileRemove : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileRemove();

    QList<RpcRequestParameter> inputParameters() const override;
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
