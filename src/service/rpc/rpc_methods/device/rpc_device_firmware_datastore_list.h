#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.datastore.list": the enabled datastore parameters of the buffer, not read again.
class RpcDeviceFirmwareDatastoreList : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareDatastoreList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
