#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.do": one bootloader function on a driver ("action"):
// enter the bootloader, start the application, read the hardware system
// information, erase a flash page, set the special volatile mode, or read the
// status bytes of the Vandrel interface.
class RpcDeviceFirmwareDo : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    static constexpr int FirstErasablePage = 1;
    static constexpr int LastErasablePage = 15;

    RpcDeviceFirmwareDo();

    QList<RpcRequestParameter> inputParameters() const override;
    // The default check, then "general_input" of "erase_page" (a page 1..15)
    // and "set_p254" (a mode 0..255): given by the client and taken whole.
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

private:
    RpcMethodError startBootloaderMode(RpcRequest* request, RpcResponse* response);
    void getStatus(itf::BootloaderProxy* proxy, RpcResponse* response);
};

} // namespace tarvesk::service
