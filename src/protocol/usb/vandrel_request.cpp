#include "protocol/usb/vandrel_request.h"

#include <cmath>

namespace tarvesk::proto {

VandrelReport vandrelCommandRequest(vandrel::Command command)
{
    VandrelReport report = {};
    report[0] = command;
    return report;
}

int vandrelTimeUnits(double ms, int maxUnits)
{
    if (!std::isfinite(ms) || ms <= 0)
        return 0;
    // The epsilon keeps exact multiples of the unit (1.664 ms = 16 units) from
    // truncating one unit short through rounding of the division.
    const double units = std::trunc(ms / vandrel::TimeUnitMs + 1e-9);
    return units >= maxUnits ? maxUnits : int(units);
}

} // namespace tarvesk::proto
