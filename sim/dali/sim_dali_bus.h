#pragma once

#include "sim_bus_model.h"
#include "sim_dali_gear.h"
#include "sim_dali_line_time.h"

#include <QtGlobal>

#include <memory>
#include <vector>

namespace tarvesk::sim {

// One DALI bus with the control gear on it. Every forward frame reaches every
// gear; one answer is a backward frame, several at once garble into a frame
// error (a collision); without bus supply no frame goes out at all. With bus
// timing a simulated clock advances by the time each frame takes on the wire
// (SimDaliTiming), so benchmarks can report bus time; nobody waits for it.
//
// Plugs into a simulated box as one DALI bus model. Not thread-safe on its own:
// the box calls it under its lock.
class SimDaliBus : public SimBusModel
{
public:
    enum class Timing { Instant, BusTime };

    SimDaliBus();
    ~SimDaliBus() override;

    void addGear(std::shared_ptr<SimDaliGear> gear);
    int gearCount() const { return int(_gear.size()); }
    SimDaliGear& gear(int index) { return *_gear.at(size_t(index)); }

    // Losing the supply sends every gear to its system failure level.
    void setSupply(bool present);
    bool hasSupply() const { return _supply; }

    void setTiming(Timing timing) { _timing = timing; }
    double nowUs() const { return _nowUs; }
    qint64 forwardFrames() const { return _forwardFrames; }
    qint64 backwardFrames() const { return _backwardFrames; }

    // One forward frame and what came back.
    SimDaliAnswer transmit(const QByteArray& frame);

    Bus bus() const override { return Dali; }
    QString modelName() const override { return QStringLiteral("dali_gear"); }
    SimDaliAnswer daliFrame(const QByteArray& frame) override { return transmit(frame); }
    bool hasDaliSupply() const override { return _supply; }

private:
    void pass(double us);

    std::vector<std::shared_ptr<SimDaliGear>> _gear;
    bool _supply = true;
    Timing _timing = Timing::Instant;
    double _nowUs = 0.0;
    SimDaliLineTime _line;
    qint64 _forwardFrames = 0;
    qint64 _backwardFrames = 0;
};

} // namespace tarvesk::sim
