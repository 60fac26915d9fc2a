#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "device.type.list": the product records of the product database and its
// product-group sort order.
class RpcDeviceTypeList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcDeviceTypeList();

    QList<RpcRequestParameter> inputParameters() const override { return {}; }
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
