#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.type.param.list": the schema parameters of a profile type that an
// access level admits, by group and display name.
class RpcProfileTypeParamList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileTypeParamList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
