#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "database.module.list": the module files of the firmware cache with what
// their file names say (module id, version, size, processor, comment).
class RpcDatabaseModuleList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcDatabaseModuleList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
