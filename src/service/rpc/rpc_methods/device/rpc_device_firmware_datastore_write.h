#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.datastore.write": stores the buffer's datastore into the driver and answers the enabled
// parameters as the written words hold them. Only into the chip it was read from: the chip's identity words
// are read again first.
class RpcDeviceFirmwareDatastoreWrite : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareDatastoreWrite();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
