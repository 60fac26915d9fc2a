#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "device.params.set": writes a JSON list of values, then lets the device
// finish the change (profileSetPost).
class RpcDeviceParamsSet : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceParamsSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
