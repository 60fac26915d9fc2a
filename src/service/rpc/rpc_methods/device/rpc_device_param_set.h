#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "device.param.set": writes one value in display units, up to three attempts.
class RpcDeviceParamSet : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceParamSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
