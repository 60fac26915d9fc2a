#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.modules.list": brings the driver into its bootloader and
// lists the firmware modules of its chip at bootloader address 0 and, on
// drivers with a second chip (bootloader version 9 on, answering at address 4),
// those of that chip. The modules of the last search stay in the proxy's buffer.
class RpcDeviceFirmwareModulesList : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    static constexpr unsigned char SecondChipAddress = 4;
    static constexpr unsigned char LastSingleChipBootloader = 8;

    RpcDeviceFirmwareModulesList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
