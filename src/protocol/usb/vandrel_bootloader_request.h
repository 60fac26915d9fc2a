#pragma once

#include "protocol/usb/vandrel_request.h"

namespace tarvesk::proto {

// The bootloader report (VD_CMD_BOOTLOADER) of the Vandrel box: the box itself
// repeats the bootloader probe while a driver restarts (spam), or also starts
// and stops the driver's bootloader (functions, firmware 20 on).
//
// Times are whole units of the function (12 ms for the spam of firmware 18
// and 19, 3 ms for the functions), truncated; a negative time counts as 0 and
// a time beyond the 16-bit field is held to 0xFFFF units, never wrapped.
VandrelReport vandrelLegacySpamRequest(int timeMs);
VandrelReport vandrelBootloaderFunctionRequest(vandrel::BootloaderFunction function, int timeMs);
VandrelReport vandrelBootloaderStatusRequest();

// The units a time takes in a field of the report (see above).
quint16 vandrelBootloaderTimeUnits(int timeMs, int unitMs);

// What a status reply says.
struct VandrelBootloaderStatus
{
    int state = 0; // vandrel::BootloaderWaitState
    quint16 count = 0;
    bool entered = false;
    int remainingUnits = 0;

    static VandrelBootloaderStatus fromReply(const unsigned char* reply);
};

} // namespace tarvesk::proto
