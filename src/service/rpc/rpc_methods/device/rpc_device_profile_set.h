#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "device.profile.set": writes a stored profile into a device and answers the
// device's parameters after the write and, on request, the programming steps.
class RpcDeviceProfileSet : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceProfileSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
