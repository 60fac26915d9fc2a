#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::core {
class Device;
class IParameter;
} // namespace tarvesk::core

namespace tarvesk::service {

class RpcValue;

// Base of the methods that work on one device of the device manager: the
// device by its id (connected, and marked disconnected when the device it is
// reached through has gone), a parameter of it by pid, the debug level.
class RpcDeviceBase : public AbstractRpcMethod
{
    Q_OBJECT

public:
    explicit RpcDeviceBase(const QString& name);
    ~RpcDeviceBase() override;

protected:
    // True with the device in `device`, or throws JsonRpcException -32603:
    // "Device with id %1 not found", "Interface type for Device with id %1 not
    // found", "Device with id %1 not connected".
    bool findDevice(int id, core::Device** device);
    // The parameter of that pid in `parameter`, or throws -32602 "Parameter
    // with pid "%1" not found" (-32603 without a device).
    void findParameter(core::Device* device, RpcValue* pid, core::IParameter** parameter);
    // "debug_level" truncated toward zero; 0 without it.
    int getDebugLevel(RpcRequest* request) const;
    // The request's "device_id" as the device, found as findDevice does.
    core::Device* deviceOf(RpcRequest* request);
    // A bus status of a parameter read or write as the error the client gets:
    // -3 (the device is gone) as -32000 "Connection lost with device %1: %2".
    [[noreturn]] static void throwConnectionLost(core::Device* device);
    // "update" as the value model reads a boolean (true, "1", "yes", false,
    // "0", "no", ...); true when absent. Anything else (a number too) is
    // -32602: taking it for true would send the read to the driver.
    static bool updateFlagOf(RpcRequest* request);
};

} // namespace tarvesk::service
