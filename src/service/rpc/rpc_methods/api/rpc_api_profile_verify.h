#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "uut.profile.verify": reads the unit's parameters at the "user_basic" level
// (without the D4i diagnostic groups) and reports the first one that differs
// from the loaded profile, or that the unit has but could not be read.
// Built on the device method base for its device look-up and its
// connection-lost error.
class RpcApiProfileVerify : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcApiProfileVerify();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
