#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.datastore.set": changes one datastore parameter in the buffer (the driver gets it with the
// next write); a value the parameter cannot hold is refused and changes nothing.
class RpcDeviceFirmwareDatastoreSet : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareDatastoreSet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
