#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "device.param.get": one parameter, read from the device or as held.
class RpcDeviceParamGet : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceParamGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
