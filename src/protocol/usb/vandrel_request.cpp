#include "protocol/usb/vandrel_request.h"

#include <cmath>

namespace tarvesk::proto {

VandrelReport vandrelCommandRequest(vandrel::Command command)
{
    VandrelReport report = {};
    report[0] = command;
    return report;
}

namespace {

VandrelReport parameterRequest(vandrel::Command command, quint16 address, quint16 value)
{
    VandrelReport report = vandrelCommandRequest(command);
    report[1] = quint8(address >> 8);
    report[2] = quint8(address & 0xFF);
    report[3] = quint8(value >> 8);
    report[4] = quint8(value & 0xFF);
    return report;
}

} // namespace

VandrelReport vandrelGetParameterRequest(quint16 address)
{
    return parameterRequest(vandrel::VD_CMD_GET_PARAMETER, address, 0);
}

VandrelReport vandrelSetParameterRequest(quint16 address, quint16 value)
{
    return parameterRequest(vandrel::VD_CMD_SET_PARAMETER, address, value);
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
