#pragma once

#include "service/rpc/rpc_methods/protocol/rpc_send.h"

namespace tarvesk::itf {
class DorvaneInterface;
}

namespace tarvesk::service {

class RpcSendContext;

// "dorvane.send": with the default "data_type" "raw", a 3- or 4-byte request
// remapped to the Dorvane frame on a Dorvane universe; with a Dorvane-2 data
// type ("dv2_status", "dv2_query", "dv2_read", "dv2_write",
// "dv2_host_command", exactly so written) a DV2 command frame for the module
// at "address" (7 when absent) through the same universe's SPI interface.
// "scratch_reg" 0..65535 first writes the Vandrel's Dorvane-2 target register
// (the box must be in the Dorvane 2 device role); -1 leaves it alone.
class RpcDorvaneSend : public RpcSend
{
    Q_OBJECT

public:
    static constexpr int DefaultModuleAddress = 7;
    // The module address is 7 bits of the DV2 frame.
    static constexpr int MaxModuleAddress = 127;
    static constexpr int MaxScratchRegister = 0xFFFF;

    RpcDorvaneSend();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

protected:
    void checkValues(RpcRequest* request) const override;

private:
    void writeScratchRegister(itf::DorvaneInterface& dorvane, int value) const;
    void sendRaw(RpcRequest* request, RpcResponse* response, RpcSendContext& context,
        itf::DorvaneInterface& dorvane) const;
    void sendDv2(RpcRequest* request, RpcResponse* response, RpcSendContext& context, int dv2Type) const;
};

} // namespace tarvesk::service
