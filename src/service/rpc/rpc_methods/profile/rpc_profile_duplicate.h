#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.duplicate": a profile text returned with a new identifier and
// today's creation date; the store is not touched.
class RpcProfileDuplicate : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileDuplicate();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
