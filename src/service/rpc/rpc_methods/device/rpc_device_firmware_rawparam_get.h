#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

namespace tarvesk::service {

// "device.firmware.rawparam.get": brings the driver into its bootloader and
// returns the flash words of "address_range" (both ends included).
class RpcDeviceFirmwareRawParamGet : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    static constexpr int MaxWordAddress = 0xFFFF;

    RpcDeviceFirmwareRawParamGet();

    QList<RpcRequestParameter> inputParameters() const override;
    // The default check, then "address_range": an object whose
    // "start_address" and "end_address" are whole numbers 0..0xFFFF.
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
