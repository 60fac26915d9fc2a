#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "system.listMethods": the names clients may call, in list order. In API
// mode "device.create" stays callable but is not listed.
class RpcSystemListMethods : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcSystemListMethods();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
