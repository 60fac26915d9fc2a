#pragma once

#include "service/rpc/rpc_methods/lightshape/abstract_rpc_lightshape_profile.h"

namespace tarvesk::service {

// "lightshape.profile.create": the profile bytes ("bytes") and both curves
// ("curve1", "curve2") for the request's inputs. Versions other than "1.0"
// also get a second pass with currents and lumens scaled to the curves' peaks
// ("adjusted_*", "adjustedBytes", "adjustedCurve1", "adjustedCurve2"); version
// "1.3" adds its per-point CCTs and power ("CCTset", "Ptot").
class RpcLightshapeProfileCreate : public AbstractRpcLightshapeProfile
{
    Q_OBJECT

public:
    RpcLightshapeProfileCreate();

    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
