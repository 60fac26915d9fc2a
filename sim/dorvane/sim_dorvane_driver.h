#pragma once

#include "drivers/sim_driver_core.h"
#include "drivers/sim_driver_faults.h"
#include "sim_bus_model.h"

#include <QList>

#include <memory>
#include <vector>

namespace tarvesk::sim {

// A driver on the Dorvane port of a box. The current generation answers the
// bridge requests: 0x59 reads the parameter at an address (low, high; the
// answer carries the value low, high in bytes 2 and 3), 0x58 takes a value,
// 0x5F writes the value taken to an address, 0x5B writes it (with a high
// byte) into a special parameter, 0x40..0x43 carries a DALI frame (opcode,
// address) to its DALI side. The legacy generation answers the frames
// address (+0x80 for a word), 0x0A, value low, high over its parameters 0 to
// 127, and DALI frames.
//
// While the driver runs its bootloader it answers only the Wystrel frames the
// box passes on in banana mode (the bridge still acknowledges the start code
// that sends it there).
//
// Its DALI side is the gear of the core and one gear per channel (reached by
// its group); the first that answers a frame gives the backward frame.
// A Corvalt driver's DALI module reports in answer byte 2: 0x81 with the
// backward frame in byte 3, 0x80 when its DALI side stayed silent; other
// drivers answer the backward frame in byte 2; without one they acknowledge
// a frame sent as a write (a DALI command) with its echo, as the bridge writes
// are, and say nothing to a read.
class SimDorvaneDriver : public SimBusModel
{
public:
    struct Config
    {
        SimDriverIdentity identity;
        bool legacy = false;
        bool corvalt = false;
        int subversion = 0; // legacy drivers: parameter 31
        // The driver's DALI channels that answer: channel c is a gear in DALI group c.
        QList<int> daliChannels;
        SimDriverFaults faults;
    };

    SimDorvaneDriver();
    explicit SimDorvaneDriver(const Config& config);
    ~SimDorvaneDriver() override;

    SimDriverCore& core() { return _core; }
    SimDriverFaults& faults() { return _faults; }
    bool isLegacy() const { return _legacy; }
    // The requests it took (not those refused while busy), answered or not.
    int requestCount() const { return _requests; }

    Bus bus() const override { return Dorvane; }
    QString modelName() const override
    {
        return _legacy ? QStringLiteral("dorvane_legacy_driver") : QStringLiteral("dorvane_driver");
    }
    bool isDorvaneDriver() const override { return true; }
    SimDorvaneAnswer dorvaneRequest(const QByteArray& request, bool read) override;
    std::optional<QByteArray> dorvaneWystrelFrame(const QByteArray& frame) override;
    bool readDorvaneParameter(quint16 number, quint16& value) override;
    bool writeDorvaneParameter(quint16 number, quint16 value) override;
    bool takeUnplugRequest() override { return _core.takeUnplugRequest(); }

private:
    std::optional<QByteArray> bridgeRequest(const QByteArray& request);
    std::optional<QByteArray> legacyRequest(const QByteArray& request, bool read);
    std::optional<QByteArray> daliRequest(const QByteArray& request, bool read);

    SimDriverCore _core;
    std::vector<std::shared_ptr<SimDaliGear>> _channels;
    SimDriverFaults _faults;
    const bool _legacy;
    const bool _corvalt;
    quint16 _latched = 0;
    int _requests = 0;
};

} // namespace tarvesk::sim
