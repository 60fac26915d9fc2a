#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.datastore.read": reads the driver's datastore rows and its chip identity into the
// bootloader proxy's buffer and answers the enabled datastore parameters. A failed read leaves the buffer as
// it was.
class RpcDeviceFirmwareDatastoreRead : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareDatastoreRead();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
