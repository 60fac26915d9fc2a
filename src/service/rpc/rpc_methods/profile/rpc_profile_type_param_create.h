#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.type.param.create": a raw parameter of the client's own added to
// the schema of a profile type, for the devices that take the type later.
class RpcProfileTypeParamCreate : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileTypeParamCreate();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
