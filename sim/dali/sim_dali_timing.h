#pragma once

#include <QtGlobal>

namespace tarvesk::sim {

// Frame durations on a DALI bus (IEC 62386-101): 1200 bit/s bi-phase, so one
// half-bit Te is 416.67 us and a bit two Te. A forward frame is a start bit,
// 8 bits per byte and a stop condition of 4 Te; a backward frame is a start bit,
// 8 bits and the stop condition.
struct SimDaliTiming
{
    static constexpr double TeUs = 1000000.0 / 2400.0;
    static constexpr double StopConditionUs = 4 * TeUs;
    // The quiet time the sender keeps before a forward frame: after a forward
    // frame (the shortest, highest-priority settling time) or after a backward frame.
    static constexpr double SettlingAfterForwardUs = 13500.0;
    static constexpr double SettlingAfterBackwardUs = 2400.0;
    // A backward frame starts 5.5 to 10.5 ms after the forward frame; gear here answer at once.
    static constexpr double BackwardDelayUs = 5500.0;
    // Where a late gear starts its backward frame: past the 10.5 ms window.
    static constexpr double LateBackwardDelayUs = 12500.0;
    // Configuration commands only count when their repeat follows within this time.
    static constexpr double SendTwiceWindowUs = 100000.0;

    static double forwardFrameUs(int bytes) { return (2 + 16 * bytes) * TeUs + StopConditionUs; }
    static double backwardFrameUs() { return (2 + 16) * TeUs + StopConditionUs; }
};

} // namespace tarvesk::sim
