#pragma once

#include "service/rpc/rpc_methods/protocol/rpc_send.h"

namespace tarvesk::service {

// "dali.send": one DALI frame, or with "full_bitbang" a bit-bang pattern of
// level times in microseconds, on the DALI line of a universe, under the DALI
// interface's lock so that no search or parameter access sends in between.
// Omitted options take their declared defaults (settling time 15 ms, stop-bit
// time 1.664 ms, answer time-out 10.5 ms, module check off); an option of the
// wrong JSON type takes the handler's (13.5 ms, 1.664 ms, 13.0 ms, module check on).
class RpcDaliSend : public RpcSend
{
    Q_OBJECT

public:
    // Byte 0 of a bit-bang pattern counts its times.
    static constexpr int MaxBitbangTimes = 255;

    RpcDaliSend();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

protected:
    void checkValues(RpcRequest* request) const override;
};

} // namespace tarvesk::service
