#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.datastore.get": one datastore parameter of the buffer.
class RpcDeviceFirmwareDatastoreGet : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareDatastoreGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
