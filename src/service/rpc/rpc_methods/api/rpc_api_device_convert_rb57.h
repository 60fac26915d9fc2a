#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "uut.device.convert.rb57": switches a unit to the RB57 configuration by
// writing 0 into its "extra_startup_delay". A unit that already reads 0 is
// refused (-32600) without a write, so a second conversion fails.
class RpcApiDeviceConvertToRB57 : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApiDeviceConvertToRB57();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
