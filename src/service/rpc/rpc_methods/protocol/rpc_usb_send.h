#pragma once

#include "service/rpc/rpc_methods/protocol/rpc_send.h"

namespace tarvesk::service {

// "usb.send": one raw report of 1 to 64 bytes (zero-padded to 64) to the
// Vandrel box "device_id", past the bus interfaces, and the report it answers
// with ("reply" with its 64 bytes). The transport's transfer lock keeps it
// apart from the box's monitor polling.
class RpcUsbSend : public RpcSend
{
    Q_OBJECT

public:
    RpcUsbSend();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

protected:
    void checkValues(RpcRequest* request) const override;
};

} // namespace tarvesk::service
