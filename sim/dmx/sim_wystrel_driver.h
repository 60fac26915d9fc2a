#pragma once

#include "drivers/sim_driver_core.h"
#include "drivers/sim_driver_faults.h"
#include "sim_bus_model.h"

namespace tarvesk::sim {

// A driver on a DMX line that speaks the Wystrel protocol. It takes the frames
// addressed to it: normal frames (skip count 0) when it sits at skip position
// 0 and its local id matches, skip frames when their skip count is its skip
// position. Frames with a wrong checksum or going the wrong way are ignored.
class SimWystrelDriver : public SimBusModel
{
public:
    struct Config
    {
        SimDriverIdentity identity;
        int skipPosition = 0; // 0..255
        quint16 localId = 0;
        SimDriverFaults faults;
    };

    SimWystrelDriver();
    explicit SimWystrelDriver(const Config& config);
    ~SimWystrelDriver() override;

    SimDriverCore& core() { return _core; }
    SimDriverFaults& faults() { return _faults; }
    int framesAnswered() const { return _answered; }

    Bus bus() const override { return Dmx; }
    QString modelName() const override { return QStringLiteral("wystrel_driver"); }
    std::optional<QByteArray> dmxFrame(const QByteArray& frame) override;
    bool takeUnplugRequest() override { return _core.takeUnplugRequest(); }

private:
    bool isAddressed(const QByteArray& frame) const;

    SimDriverCore _core;
    SimDriverFaults _faults;
    int _skipPosition;
    quint16 _localId;
    int _answered = 0;
};

} // namespace tarvesk::sim
