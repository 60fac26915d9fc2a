#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.param.list": the enabled parameters of a stored profile that an
// access level may see, by group and display name.
class RpcProfileParamList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileParamList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
