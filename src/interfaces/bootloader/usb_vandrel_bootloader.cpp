#include "interfaces/bootloader/usb_vandrel_bootloader.h"

#include "core/itf_error.h"
#include "interfaces/bootloader/bootloader_clock.h"
#include "log/logging_categories.h"
#include "protocol/usb/vandrel_bootloader_request.h"

namespace tarvesk::itf {

namespace {

proto::vandrel::BootloaderFunction subCommandOf(UsbVandrelBootloader::FirmwareFunction function)
{
    switch (function) {
    case UsbVandrelBootloader::FUNCTION_START_BOOTLOADER:
        return proto::vandrel::BootloaderStart;
    case UsbVandrelBootloader::FUNCTION_STOP_BOOTLOADER:
        return proto::vandrel::BootloaderStop;
    case UsbVandrelBootloader::FUNCTION_SPAM:
        break;
    }
    return proto::vandrel::BootloaderSpam;
}

} // namespace

UsbVandrelBootloader::UsbVandrelBootloader(
    LibUsbInterface* usb, IUsbVandrelDevice* device, DmxInterface* dmx, bool bananaMode)
    : UsbVandrelLegacyBootloader(usb, device, dmx, bananaMode)
{ }

UsbVandrelBootloader::~UsbVandrelBootloader() = default;

int UsbVandrelBootloader::sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs)
{
    return sendFirmwareFunction(FUNCTION_SPAM, timeMs, entered, elapsedMs);
}

int UsbVandrelBootloader::startBootloader(int timeMs, bool& entered, int& elapsedMs)
{
    return sendFirmwareFunction(FUNCTION_START_BOOTLOADER, timeMs, entered, elapsedMs);
}

int UsbVandrelBootloader::stopBootloaderMode()
{
    bool entered = false;
    int elapsedMs = 0;
    const int status = sendFirmwareFunction(FUNCTION_STOP_BOOTLOADER, 0, entered, elapsedMs);
    clock().sleepMs(StopSettleMs);
    if (status == core::ITF_OK)
        emit bootloaderModeStopped();
    return status;
}

int UsbVandrelBootloader::sendFirmwareFunction(
    FirmwareFunction function, int timeMs, bool& entered, int& elapsedMs)
{
    if (function == FUNCTION_START_BOOTLOADER)
        qCDebug(service::loggerGlog()).noquote() << tr("Enter bootloader");
    unsigned char reply[proto::UsbPacket::ReportSize];
    const int sent = transfer(proto::vandrelBootloaderFunctionRequest(subCommandOf(function), timeMs), reply);
    if (function == FUNCTION_STOP_BOOTLOADER)
        return sent;
    entered = false;
    elapsedMs = -1;
    if (sent != core::ITF_OK)
        return sent;
    const int boxTimeMs = proto::vandrelBootloaderTimeUnits(timeMs, proto::vandrel::BootloaderFunctionUnitMs)
        * proto::vandrel::BootloaderFunctionUnitMs;
    const qint64 deadline = clock().nowMs() + boxTimeMs + DeadlineMarginMs;
    proto::VandrelBootloaderStatus last;
    const int status = waitForBox(deadline, false, last);
    int endState = last.state;
    if (status != core::ITF_OK) {
        endState = 4;
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << tr("WTF happened %1").arg(endState);
    } else if (last.state == proto::vandrel::BootloaderWaitTimedOut) {
        qCDebug(service::loggerGlog()).noquote() << tr("Time-out %1").arg(last.state);
    } else {
        elapsedMs = last.count;
        qCDebug(service::loggerGlog()).noquote() << tr("Running %1 %2").arg(last.state).arg(last.count);
        emit bootloaderModeVerified(SpamVerifiedTimeoutMs, timeMs);
    }
    if (status == core::ITF_OK && last.entered) {
        qCDebug(service::loggerGlog()).noquote() << tr("Really entered %1").arg(endState);
        entered = true;
    }
    if (status == core::ITF_OK && last.remainingUnits != 0)
        qCDebug(service::loggerGlog()).noquote()
            << tr("Bootloader time-out time remaining %1ms")
                   .arg(last.remainingUnits * proto::vandrel::BootloaderFunctionUnitMs);
    return status;
}

} // namespace tarvesk::itf
