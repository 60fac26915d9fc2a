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
    // The longest spam: the entry of every firmware method gives the bootloader
    // 3000 ms; a person powering a driver up by hand gets a few seconds more.
    // Requests run one at a time, so a longer spam would hold the service.
    static constexpr int MaxSpamTimeMs = 10000;

    RpcDeviceFirmwareBlSpam();

    QList<RpcRequestParameter> inputParameters() const override;
    // The default check, then "spamtime": a whole number of milliseconds, 0 to MaxSpamTimeMs.
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
