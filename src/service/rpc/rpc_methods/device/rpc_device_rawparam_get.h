#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_rawparam_base.h"

namespace tarvesk::service {

// "device.rawparam.get": one byte or word of a driver's raw memory.
class RpcDeviceRawParamGet : public RpcDeviceRawParamBase
{
    Q_OBJECT

public:
    RpcDeviceRawParamGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
