#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

#include <QString>

class JsonRpcException;

namespace tarvesk::core {
class Universe;
} // namespace tarvesk::core

namespace tarvesk::itf {
class BootloaderProxy;
} // namespace tarvesk::itf

namespace tarvesk::service {

// Base of the methods that work on a driver through its bootloader. They all
// reach it the same way: the request's "device_id" (default 1) and
// "interface_type" (default "dorvane") choose a universe, its default
// interface holds the bootloader proxy, and the driver is brought into its
// bootloader when the method needs it. Every failure is a JsonRpcException
// -32603.
class RpcDeviceFirmware : public RpcDeviceBase
{
    Q_OBJECT

public:
    explicit RpcDeviceFirmware(const QString& name);
    ~RpcDeviceFirmware() override;

protected:
    // The universe through which the device's bootloader is reached: the child
    // universe of that interface type of an interface device (a Vandrel box),
    // else the universe a driver of that interface type sits on; null for none.
    static core::Universe* findUniverseForDevice(int deviceId, const QString& interfaceType);
    // Chooses the universe for the request (see the class comment). A request
    // without a client "device_id" takes the first universe of the interface
    // type whose interface has factory access, or keeps the universe passed in.
    void getBootloaderUniverseByRequest(RpcRequest* request, core::Universe** universe);
    // The proxy of the chosen universe's default interface (null when it holds
    // none); with startBootloader the driver is brought into its bootloader and
    // a missing proxy throws.
    void getBootloaderProxy(RpcRequest* request, itf::BootloaderProxy** proxy, bool startBootloader);
    // The interface text of the request: "interface_type", "dorvane" without it.
    static QString interfaceTypeOf(RpcRequest* request);
    // A client's number taken whole: true with it in `number` when the value
    // is a JSON number without fraction in min..max; never cut or rounded.
    static bool wholeNumberIn(const RpcValue* value, int min, int max, int& number);
    // A failure of the bootloader layer as the client's -32603 error: the
    // caught exception's text in place of %1 of the template.
    [[noreturn]] static void throwWrapped(
        const QString& messageTemplate, const JsonRpcException& cause, const char* file, int line);
};

// Rethrows a caught bootloader failure inside the method's own message (with
// %1 for the caught text), located at the method that rethrows.
#define QM_RETHROW_JSONRPC(messageTemplate, cause)                                                           \
    throwWrapped((messageTemplate), (cause), __FILE__, __LINE__)

} // namespace tarvesk::service
