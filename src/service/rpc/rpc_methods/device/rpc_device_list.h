#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "device.list": the devices of an interface type that an access level may see.
class RpcDeviceList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcDeviceList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
