#pragma once

#include "protocol/usb/vandrel_request.h"

namespace tarvesk::proto {

// The box parameter report (VD_CMD_BOX_PARAMETER): a get or set of one 16-bit
// parameter in the parameter space of the Dorvane driver behind the box.
VandrelReport vandrelBoxParameterGet(quint16 number);
VandrelReport vandrelBoxParameterSet(quint16 number, quint16 value);

// The bus status of the reply's result code (byte 6): 0 for success, -6 time-out,
// -26 frame error, -1 transfer failed, -12 too many retries, -7 for any other code.
int vandrelBoxParameterStatus(quint8 resultCode);

} // namespace tarvesk::proto
