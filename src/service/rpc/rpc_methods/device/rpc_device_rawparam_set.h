#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_rawparam_base.h"

namespace tarvesk::service {

// "device.rawparam.set": one byte or word of a driver's raw memory.
class RpcDeviceRawParamSet : public RpcDeviceRawParamBase
{
    Q_OBJECT

public:
    RpcDeviceRawParamSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
