#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.param.set": stores a value in one parameter of a stored profile
// (rounded to its step, held within its limits) and returns the parameter.
class RpcProfileParamSet : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileParamSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
