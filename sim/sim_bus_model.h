#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tarvesk::sim {

// What a DALI bus did with one forward frame.
struct SimDaliAnswer
{
    enum Kind { None, Answer, Collision };
    Kind kind = None;
    quint8 value = 0;

    static SimDaliAnswer none() { return {}; }
    static SimDaliAnswer answer(quint8 value) { return {Answer, value}; }
    static SimDaliAnswer collision() { return {Collision, 0}; }
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
    // False while this model holds the DALI bus without its supply: the box
    // then refuses DALI requests ("no DALI supply") and sends no frame.
    virtual bool hasDaliSupply() const { return true; }
    // A frame on the DMX line (start code first; Wystrel-wrapped Dorvane requests
    // travel here too). An answer frame, or nothing.
    virtual std::optional<QByteArray> dmxFrame(const QByteArray& frame)
    {
        Q_UNUSED(frame)
        return std::nullopt;
    }
};

} // namespace tarvesk::sim
