#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "database.module.get": the text of one module file of the firmware cache,
// by its file name (with or without the folder "data/firmware_mods/").
class RpcDatabaseModuleGet : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcDatabaseModuleGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
