#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.list": every profile of the store, with its parameters of one access level.
class RpcProfileList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
