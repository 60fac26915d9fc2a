#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_flash_base.h"

namespace tarvesk::service {

// "device.flash.read": the lightshape profile bytes stored in the driver's
// profile region, trailing zeros left out, with the firmware's status.
class RpcDeviceFlashRead : public RpcDeviceFlashBase
{
    Q_OBJECT

public:
    RpcDeviceFlashRead();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
