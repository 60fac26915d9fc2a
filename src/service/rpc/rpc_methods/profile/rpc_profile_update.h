#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.update": checks that a profile text is one JSON object and returns
// it; the store is not touched.
class RpcProfileUpdate : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileUpdate();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
