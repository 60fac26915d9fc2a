#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.type.list": the names of the profile types of the product database.
class RpcProfileTypeList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileTypeList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
