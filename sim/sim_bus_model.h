#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace tarvesk::sim {

// What a DALI bus did with one forward frame.
struct SimDaliAnswer
{
    // Late: the gear answered after the answer window; the sender has given up
    // on it (a time-out) by the time the backward frame is on the wire.
    enum Kind { None, Answer, Collision, Late };
    Kind kind = None;
    quint8 value = 0;
    // The box reports the backward frame that long (host time) after the forward frame.
    int reportAfterMs = 0;

    static SimDaliAnswer none() { return {}; }
    static SimDaliAnswer answer(quint8 value) { return make(Answer, value); }
    static SimDaliAnswer collision() { return make(Collision, 0); }
    static SimDaliAnswer late(quint8 value) { return make(Late, value); }

private:
    static SimDaliAnswer make(Kind kind, quint8 value)
    {
        SimDaliAnswer made;
        made.kind = kind;
        made.value = value;
        return made;
    }
};

// What a driver on the Dorvane port did with one request: answered with its
// four bytes, answered flagging an error, answered garbled, or nothing.
struct SimDorvaneAnswer
{
    enum Kind { None, Answer, ErrorFlag, BadChecksum, NotTaken };
    Kind kind = None;
    QByteArray bytes;

    static SimDorvaneAnswer none() { return {}; }
    static SimDorvaneAnswer answer(const QByteArray& bytes) { return {Answer, bytes}; }
};

// Something on one of a box's buses: DALI control gear, a DMX/RDM/Wystrel
// driver, a Dorvane driver. The box offers every frame it puts on a bus to each
// model on that bus; answers of several models collide as they would on the
// wire. Called under the box's lock, on whichever thread sent the request.
class SimBusModel
{
public:
    enum Bus { Dali, Dmx, Dorvane };

    virtual ~SimBusModel() = default;
    virtual Bus bus() const = 0;
    virtual QString modelName() const = 0;

    // A DALI forward frame (2 or 3 bytes; more with full bit-banging).
    virtual SimDaliAnswer daliFrame(const QByteArray& frame)
    {
        Q_UNUSED(frame)
        return SimDaliAnswer::none();
    }
    // Forward frames this model puts on the DALI bus by itself (another
    // master), in order, asked for each time the box is polled; none most of the time.
    virtual std::vector<QByteArray> daliTraffic() { return {}; }
    // Another master's frames that go on the DALI line right before the box
    // puts its own frame `boxFrame` there (recorded before the box's echo).
    virtual std::vector<QByteArray> daliTrafficAhead(const QByteArray& boxFrame)
    {
        Q_UNUSED(boxFrame)
        return {};
    }
    // Frames another master puts on the DALI line right after the box's frame
    // `boxFrame` and what answered it (recorded after them), in order.
    virtual std::vector<QByteArray> daliTrafficAfter(const QByteArray& boxFrame)
    {
        Q_UNUSED(boxFrame)
        return {};
    }
    // False while this model holds the DALI bus without its supply: the box
    // then refuses DALI requests ("no DALI supply") and sends no frame.
    virtual bool hasDaliSupply() const { return true; }
    // A frame on the DMX line (start code first): Wystrel, RDM or plain DMX.
    // An answer frame, or nothing.
    virtual std::optional<QByteArray> dmxFrame(const QByteArray& frame)
    {
        Q_UNUSED(frame)
        return std::nullopt;
    }

    // The Dorvane side, as the box's Dorvane controller reaches it.
    // A driver on the Dorvane port: true while it holds the line.
    virtual bool isDorvaneDriver() const { return false; }
    // One Dorvane request (3 or 4 bytes); read: the host awaits an answer.
    virtual SimDorvaneAnswer dorvaneRequest(const QByteArray& request, bool read)
    {
        Q_UNUSED(request)
        Q_UNUSED(read)
        return SimDorvaneAnswer::none();
    }
    // A Wystrel frame for the driver on the port (the bootloader's banana mode).
    virtual std::optional<QByteArray> dorvaneWystrelFrame(const QByteArray& frame)
    {
        Q_UNUSED(frame)
        return std::nullopt;
    }
    // The driver's parameter space, reached by the box parameter report; false
    // when the driver does not answer.
    virtual bool readDorvaneParameter(quint16 number, quint16& value)
    {
        Q_UNUSED(number)
        Q_UNUSED(value)
        return false;
    }
    virtual bool writeDorvaneParameter(quint16 number, quint16 value)
    {
        Q_UNUSED(number)
        Q_UNUSED(value)
        return false;
    }
    // True once when the model wants the box's cable pulled (a fault of a driver
    // counted in the rows its bootloader wrote).
    virtual bool takeUnplugRequest() { return false; }
    // A slave module behind the port: one 5-byte SPI frame (target chip 1 or 2)
    // and the module's answer (the 5 bytes of the answer frame's bytes 3 to 7),
    // or nothing when the frame is not for this module.
    virtual std::optional<QByteArray> slaveSpiFrame(const QByteArray& spi, int chip)
    {
        Q_UNUSED(spi)
        Q_UNUSED(chip)
        return std::nullopt;
    }
};

} // namespace tarvesk::sim
