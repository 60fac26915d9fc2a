#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

#include <memory>

namespace tarvesk::core {
class RawParameterInterface;
}

namespace tarvesk::service {

// What the two raw memory methods share: the one-of "device_id" /
// "universe_id" check, the target device and its named raw interface, the
// address check and the reply's status text.
class RpcDeviceRawParamBase : public RpcDeviceBase
{
    Q_OBJECT

public:
    using RpcDeviceBase::RpcDeviceBase;

    void validateInputParameters(RpcRequest* request) override;

    // The highest address a raw interface takes.
    static constexpr int MaxAddress = 0xFFFF;
    // "ok", "time-out" (no reply, or the box's time-out waiting for the
    // driver), "unsupported param" or "unknown error (n)".
    static QString statusText(int status);

protected:
    // The device that serves the request. A temporary device made for a
    // universe is held in `temporary` and freed with it, on every way out.
    core::Device* targetDevice(RpcRequest* request, std::unique_ptr<core::Device>& temporary);
    // The raw interface "param_type" names, or throws with the list of the
    // device's interfaces (with the given code).
    core::RawParameterInterface* rawInterface(core::Device* device, RpcRequest* request, int missingCode);
    // The address truncated to an integer, or throws -32602.
    static int addressOf(RpcRequest* request);
};

} // namespace tarvesk::service
