#pragma once

#include "protocol/usb/usb_packet.h"
#include "protocol/usb/vandrel_commands.h"

#include <array>

namespace tarvesk::proto {

// The bytes of one request report as the box receives them: always whole, the
// bytes past what a request sets are zero.
using VandrelReport = std::array<quint8, UsbPacket::ReportSize>;

// A request of the command byte alone (the DALI status and data fetches of
// older firmware, the monitor poll).
VandrelReport vandrelCommandRequest(vandrel::Command command);

// Reading a firmware register (VD_CMD_GET_PARAMETER): the address in bytes 1
// (high) and 2 (low). The reply carries the value in bytes 3 (high) and 4 (low).
VandrelReport vandrelGetParameterRequest(quint16 address);
// Writing one (VD_CMD_SET_PARAMETER): the address as above, the value in bytes 3 and 4.
VandrelReport vandrelSetParameterRequest(quint16 address, quint16 value);

// A time in milliseconds as a count of the box's time units, truncated and
// held to maxUnits (a field too narrow for it is filled, never wrapped); 0 for
// a time that is not a positive number.
int vandrelTimeUnits(double ms, int maxUnits);

} // namespace tarvesk::proto
