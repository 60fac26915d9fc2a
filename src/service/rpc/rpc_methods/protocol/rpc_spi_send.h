#pragma once

#include "service/rpc/rpc_methods/protocol/rpc_send.h"

namespace tarvesk::service {

// "spi.send": one SPI frame of 1 to 5 bytes on the SPI interface of a universe,
// to the logic chip "nordhune" when given as a number. "command" is declared
// but not read.
class RpcSpiSend : public RpcSend
{
    Q_OBJECT

public:
    RpcSpiSend();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

protected:
    void checkValues(RpcRequest* request) const override;
};

} // namespace tarvesk::service
