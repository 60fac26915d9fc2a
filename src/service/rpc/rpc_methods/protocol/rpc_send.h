#pragma once

#include "core/interface_type.h"
#include "service/rpc/rpc_methods/rpc_method.h"

#include <QByteArray>
#include <QVector>

#include <memory>

namespace tarvesk::core {
class NetworkInterface;
class Universe;
} // namespace tarvesk::core

namespace tarvesk::proto {
class RawPacket;
}

namespace tarvesk::service {

class RpcSendContext;

// Base of the raw send methods ("dali.send", "dmx.send", "dorvane.send",
// "spi.send", "usb.send"): a client puts bytes of its own choosing on a bus
// and sees the answer. The base declares "universe_id", "bytes" and
// "debug_level", finds the universe (or for USB the device) a request
// addresses and the universe's bus interface, and turns a send's status and
// answer into the reply: an RpcTypeSendResult, or -32603 with the status text.
//
// Every check of a client's value runs with the parameter check, before
// anything is looked up or sent: "bytes" is an array, each method's own
// checks (checkValues) follow.
class RpcSend : public AbstractRpcMethod
{
    Q_OBJECT

public:
    explicit RpcSend(const QString& name);
    ~RpcSend() override;

    QList<RpcRequestParameter> inputParameters() const override;
    void validateInputParameters(RpcRequest* request) override;

protected:
    // The method's own checks of the request's values; each throws
    // JsonRpcException -32602 naming the parameter.
    virtual void checkValues(RpcRequest* request) const = 0;

    // The universe ("universe_id"; a negative id: the first universe of the
    // protocol) or, without "universe_id" and for USB only, the device
    // ("device_id"); throws -32603 when it does not exist.
    void initializeContext(RpcRequest* request, RpcSendContext& context, core::InterfaceType protocol) const;
    // The universe's interface of the type; throws -32603 when it has none.
    core::NetworkInterface* getInterface(core::Universe* universe, core::InterfaceType type) const;
    // The same as the interface class of the bus.
    template <class Interface>
    Interface* getInterface(core::Universe* universe, core::InterfaceType type) const
    {
        auto* itf = qobject_cast<Interface*>(getInterface(universe, type));
        if (!itf)
            notAvailable(universe);
        return itf;
    }
    [[noreturn]] void notAvailable(core::Universe* universe) const;
    // Sets the reply of a send that returned 0, otherwise throws -32603 with the
    // status text. The answer (may be null) is released either way.
    static void buildResponse(
        RpcResponse* response, int result, std::unique_ptr<proto::RawPacket> answer, bool expectAnswer);

    // "bytes" as bytes: each element an integer in 0..255, else -32602.
    static QByteArray requestBytes(RpcRequest* request);
    // "bytes" as integers of any size, else -32602.
    static QVector<int> requestIntegers(RpcRequest* request);
    // Appends "bytes" to the packet.
    static void initializePacket(RpcRequest* request, proto::RawPacket& packet);
    // Whether the request holds the parameter as the JSON boolean true.
    static bool isTrue(RpcRequest* request, const QString& name);

    // Checks for checkValues, each throwing -32602. "bytes" holds min to max
    // elements ("what" names the frame in the message).
    static void checkCount(int count, int min, int max, const QString& what);
    // "2" or "1 to 4".
    static QString countText(int min, int max);
    // A number option given as a number is finite and not negative.
    static void checkTime(RpcRequest* request, const QString& name);
    // A parameter given as a number lies in min..max once truncated;
    // numberRequired: a value that is no number is refused as well.
    static void checkInteger(RpcRequest* request, const QString& name, int min, int max, bool numberRequired);
    [[noreturn]] static void refuse(const QString& message);
};

} // namespace tarvesk::service
