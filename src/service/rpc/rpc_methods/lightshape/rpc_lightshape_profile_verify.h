#pragma once

#include "service/rpc/rpc_methods/lightshape/abstract_rpc_lightshape_profile.h"

namespace tarvesk::service {

// "lightshape.profile.verify": true exactly when "bytes" is the profile that
// "lightshape.profile.create" gives for the same inputs, byte for byte.
class RpcLightshapeProfileVerify : public AbstractRpcLightshapeProfile
{
    Q_OBJECT

public:
    RpcLightshapeProfileVerify();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
