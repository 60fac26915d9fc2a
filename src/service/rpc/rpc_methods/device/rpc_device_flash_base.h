#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

#include <QList>

#include <functional>
#include <memory>

namespace tarvesk::core {
class LightShapeRamBufferMemoryReadWrite;
} // namespace tarvesk::core

namespace tarvesk::service {

class RpcObject;

// Base of "device.flash.write" and "device.flash.read": the lightshape profile
// region of a driver, reached through its running firmware's RAM buffer over
// its "presmonde" raw interface. Failures of the memory access reach the
// client with their own text.
class RpcDeviceFlashBase : public AbstractRpcMethod
{
    Q_OBJECT

public:
    explicit RpcDeviceFlashBase(const QString& name);
    ~RpcDeviceFlashBase() override;

protected:
    // The memory access to the profile region of the request's device. Throws
    // -32603 for a device that does not exist or has no "presmonde"
    // interface, for "skip_enterbl" true (bootloaderRefusal is the message)
    // and for a region other than "light_shape"; with `beforeChecks` run
    // after the device was found (the write's reading of "bytes").
    std::unique_ptr<core::LightShapeRamBufferMemoryReadWrite> profileMemory(RpcRequest* request,
        const QString& bootloaderRefusal, const std::function<void()>& beforeChecks = nullptr);
    // The reply object: flash target, firmware status and the bytes.
    static RpcObject* reply(core::LightShapeRamBufferMemoryReadWrite& memory, const QList<int>& bytes);
    // Runs the memory work; a failure of it becomes -32603 with its own text.
    static void memoryWork(const std::function<void()>& work);
};

} // namespace tarvesk::service
