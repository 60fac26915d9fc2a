#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.param.get": one parameter of a stored profile, as held.
class RpcProfileParamGet : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileParamGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
