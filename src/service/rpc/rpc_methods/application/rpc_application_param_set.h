#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.param.set": changes the application name ("name") or the
// version text for the rest of the process's pass.
class RpcApplicationParamSet : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationParamSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
