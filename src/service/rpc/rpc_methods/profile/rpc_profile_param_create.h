#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.param.create": a raw parameter of the client's own (a word of a
// driver's memory, "RAW_" + label) with a value, added to a stored profile.
class RpcProfileParamCreate : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileParamCreate();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
