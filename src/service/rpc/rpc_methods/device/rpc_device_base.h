#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

#include <QVector>

namespace tarvesk::core {
class Device;
class IParameter;
class Parameter;
class Universe;
} // namespace tarvesk::core

namespace tarvesk::service {

class RpcObject;
class RpcValue;

// Base of the methods that work on one device of the device manager: the
// device by its id (connected, and marked disconnected when the device it is
// reached through has gone), a parameter of it by pid, the debug level, the
// universe a request names, the Dorvane slave role of the box above a bus.
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

    // Chooses the request's universe into _universe: "universe_id" (a number,
    // or a text that reads as one, truncated), else the first universe of
    // `interfaceType`, looked for again after a USB listing when there is none.
    // -32603 "Universe with 'universe_id' %1 not found", -32602 "'universe_id'
    // parameter not a number" or "Could not find a valid universe".
    RpcMethodError getUniverseById(RpcRequest* request, const QString& interfaceType);
    // Puts the Vandrel box that carries the universe's Dorvane bus into its
    // slave role, unless it is there already: a bus status (-3 when the bus
    // does not hang off a Vandrel box; 0 when the universe has no such bus).
    int enableDorvaneSlaveModus(core::Universe* universe);
    // "parameters": [{"identifier": ...}, ...] in the vector's order.
    void initObjectFromParameterSet(RpcObject* object, QVector<core::Parameter*>* parameters);

    // The universe getUniverseById chose; not owned. One request at a time
    // uses a method object, so the request that set it is the one reading it.
    core::Universe* _universe = nullptr;

    // "update" as the value model reads a boolean (true, "1", "yes", false,
    // "0", "no", ...); true when absent. Anything else (a number too) is
    // -32602: taking it for true would send the read to the driver.
    static bool updateFlagOf(RpcRequest* request);

private:
    void listNewBoxes(core::Universe* usb);
};

} // namespace tarvesk::service
