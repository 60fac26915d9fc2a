#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "system.method.params.list": the declared parameters of one method (name,
// whether required, type, default), for clients that discover the API.
class RpcSystemMethodParamsList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcSystemMethodParamsList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    static QString typeIdToString(RpcRequestParameter::Type type);

private:
    // The method names allowed when the object was made.
    QList<QVariant> _methodNames;
};

} // namespace tarvesk::service
