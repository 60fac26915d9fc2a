#include "protocol/usb/vandrel_bootloader_request.h"

namespace tarvesk::proto {

namespace {

VandrelReport bootloaderReport(quint8 function, quint16 units)
{
    VandrelReport report = vandrelCommandRequest(vandrel::VD_CMD_BOOTLOADER);
    report[1] = function;
    report[2] = quint8(units >> 8);
    report[3] = quint8(units & 0xFF);
    report[4] = quint8(vandrel::BootloaderReportTail >> 8);
    report[5] = quint8(vandrel::BootloaderReportTail & 0xFF);
    return report;
}

} // namespace

quint16 vandrelBootloaderTimeUnits(int timeMs, int unitMs)
{
    if (timeMs <= 0 || unitMs <= 0)
        return 0;
    const int units = timeMs / unitMs;
    return units > 0xFFFF ? 0xFFFF : quint16(units);
}

VandrelReport vandrelLegacySpamRequest(int timeMs)
{
    return bootloaderReport(
        vandrel::BootloaderSpam, vandrelBootloaderTimeUnits(timeMs, vandrel::LegacySpamUnitMs));
}

VandrelReport vandrelBootloaderFunctionRequest(vandrel::BootloaderFunction function, int timeMs)
{
    return bootloaderReport(function, vandrelBootloaderTimeUnits(timeMs, vandrel::BootloaderFunctionUnitMs));
}

VandrelReport vandrelBootloaderStatusRequest()
{
    return bootloaderReport(vandrel::BootloaderStatus, 0);
}

VandrelBootloaderStatus VandrelBootloaderStatus::fromReply(const unsigned char* reply)
{
    VandrelBootloaderStatus status;
    status.state = reply[2];
    status.count = quint16(reply[5] << 8 | reply[6]);
    status.entered = reply[11] == 1;
    status.remainingUnits = reply[12];
    return status;
}

} // namespace tarvesk::proto
