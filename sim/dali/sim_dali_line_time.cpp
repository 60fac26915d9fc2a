#include "sim_dali_line_time.h"

#include "sim_dali_timing.h"

namespace tarvesk::sim {

double SimDaliLineTime::forward(int bytes)
{
    const double settling
        = _lastWasBackward ? SimDaliTiming::SettlingAfterBackwardUs : SimDaliTiming::SettlingAfterForwardUs;
    _lastWasBackward = false;
    return settling + SimDaliTiming::forwardFrameUs(bytes);
}

double SimDaliLineTime::backward(bool late)
{
    _lastWasBackward = true;
    return (late ? SimDaliTiming::LateBackwardDelayUs : SimDaliTiming::BackwardDelayUs)
        + SimDaliTiming::backwardFrameUs();
}

} // namespace tarvesk::sim
