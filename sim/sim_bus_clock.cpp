#include "sim_bus_clock.h"

#include <cmath>

namespace tarvesk::sim {

void SimBusClock::frame(SimBusModel::Bus bus, double durationUs)
{
    if (bus == SimBusModel::Dali)
        ++_stats.daliFrames;
    else
        ++_stats.dmxFrames;
    if (_timing == SimTiming::BusTime) {
        _nowUs += durationUs;
        _stats.busTimeUs = static_cast<qint64>(std::llround(_nowUs));
    }
}

quint16 SimBusClock::takeRecordTicks()
{
    // The remainder below one tick stays on the clock, so that record times do not drift.
    const double ticks = qBound(0.0, std::floor((_nowUs - _lastRecordUs) / RecordTickUs), 65535.0);
    _lastRecordUs = ticks < 65535.0 ? _lastRecordUs + ticks * RecordTickUs : _nowUs;
    return static_cast<quint16>(ticks);
}

} // namespace tarvesk::sim
