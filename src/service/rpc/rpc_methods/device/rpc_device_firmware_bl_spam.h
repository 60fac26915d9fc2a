#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.blspam": the bus interface repeats its bootloader-entry
// commands for "spamtime" ms, so that a driver being powered up catches one;
// answers whether it entered its bootloader and after how long.
class RpcDeviceFirmwareBlSpam : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareBlSpam();

    QList<RpcRequestParameter> inputParameters() const override;
    // The default check, then "spamtime": a whole number of milliseconds, not negative.
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
