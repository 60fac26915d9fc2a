#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "device.ping": whether a driver found by an earlier search still answers
// and is still the same product (its product-id byte, read through its "main"
// raw interface, against the one the device object holds). Not for the
// Vandrel interfaces themselves.
class RpcDevicePing : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDevicePing();

    // Product ids whose byte is not compared: a read that answers is enough.
    static bool isExemptProductId(unsigned productId);

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
