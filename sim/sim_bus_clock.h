#pragma once

#include "sim_bus_model.h"

#include "protocol/usb/vandrel_commands.h"

#include <QtGlobal>

namespace tarvesk::sim {

// How simulated bus time passes. Instant: frames take no time (tests never wait
// for a bus). BusTime: a simulated clock advances by the time each frame would
// take on the wire, nobody waits for it, and benchmarks read bus time and frame
// counts from it.
enum class SimTiming { Instant, BusTime };

struct SimBusStats
{
    qint64 daliFrames = 0;
    qint64 dmxFrames = 0;
    qint64 busTimeUs = 0; // simulated time spent on the buses (BusTime only)
};

// A box's simulated clock.
class SimBusClock
{
public:
    // DALI frames cost what SimDaliLineTime says.
    // DMX512: break, mark after break, then 44 us per slot (11 bits at 250 kbit/s).
    static constexpr double DmxDefaultBreakUs = 176.0;
    static constexpr double DmxMarkAfterBreakUs = 12.0;
    static constexpr double DmxSlotUs = 44.0;
    // One tick of the monitor records' time field.
    static constexpr double RecordTickUs = proto::vandrel::TimeUnitMs * 1000.0;

    explicit SimBusClock(SimTiming timing = SimTiming::Instant)
        : _timing(timing)
    { }

    SimTiming timing() const { return _timing; }
    void setTiming(SimTiming timing) { _timing = timing; }

    static double dmxFrameUs(int slotCount, double breakUs = DmxDefaultBreakUs)
    {
        return breakUs + DmxMarkAfterBreakUs + slotCount * DmxSlotUs;
    }

    // Counts a frame and, with bus timing, lets its time pass.
    void frame(SimBusModel::Bus bus, double durationUs);
    qint64 nowUs() const { return static_cast<qint64>(_nowUs); }
    SimBusStats stats() const { return _stats; }

    // Ticks since the previous record (0 with instant timing), for a record's time field.
    quint16 takeRecordTicks();

private:
    SimTiming _timing;
    double _nowUs = 0.0;
    double _lastRecordUs = 0.0;
    SimBusStats _stats;
};

} // namespace tarvesk::sim
