#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "application.param.list": the service's identity (application and
// organisation names, the version text) and, when the version text parses as
// "<major>.<minor>.<patch>" before its first space, the three numbers, marked
// deprecated.
class RpcApplicationParamList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApplicationParamList();

    QList<RpcRequestParameter> inputParameters() const override { return {}; }
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
