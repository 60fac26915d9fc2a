#pragma once

#include "service/rpc/rpc_methods/protocol/rpc_send.h"

namespace tarvesk::service {

// "dmx.send": one DMX frame (start code first, up to 513 bytes) on the DMX
// line of a universe; the line serialises its own exchanges. "uart_speed" is
// declared but has no effect.
class RpcDmxSend : public RpcSend
{
    Q_OBJECT

public:
    // The start code and 512 slots.
    static constexpr int MaxFrameSize = 513;

    RpcDmxSend();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

protected:
    void checkValues(RpcRequest* request) const override;
};

} // namespace tarvesk::service
