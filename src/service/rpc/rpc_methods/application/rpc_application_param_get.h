#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.param.get": one application parameter by its pid (any case);
// the version numbers are parsed out of the version text.
class RpcApplicationParamGet : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationParamGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
