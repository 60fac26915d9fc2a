#include "interfaces/bootloader/usb_vandrel_legacy_bootloader.h"

#include "core/itf_error.h"
#include "interfaces/bootloader/bootloader_clock.h"
#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_bootloader_request.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <cstring>
#include <memory>
#include <mutex>

namespace tarvesk::itf {

UsbVandrelLegacyBootloader::UsbVandrelLegacyBootloader(
    LibUsbInterface* usb, IUsbVandrelDevice* device, DmxInterface* dmx, bool bananaMode)
    : WystrelBootloader(dmx, bananaMode)
    , _usb(usb)
    , _device(device)
{ }

UsbVandrelLegacyBootloader::~UsbVandrelLegacyBootloader() = default;

bool UsbVandrelLegacyBootloader::checkDeviceInBootloaderMode()
{
    return WystrelBootloader::checkDeviceInBootloaderMode();
}

int UsbVandrelLegacyBootloader::writeRowAddress(
    unsigned short address, QString rowData, unsigned char& status, int& retries, unsigned char deviceAddress)
{
    return WystrelBootloader::writeRowAddress(address, rowData, status, retries, deviceAddress);
}

int UsbVandrelLegacyBootloader::writeRows(
    QStringList rows, int&, int& retryCount, unsigned char deviceAddress)
{
    const int result = writeRowList(rows, retryCount, deviceAddress,
        QStringLiteral("Error writing row \"%1\" to device, too many retries, aborting.. "), true);
    if (result == core::ITF_OK)
        finalizeWriteRows();
    return result;
}

int UsbVandrelLegacyBootloader::sendBootloaderCommand(
    proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer)
{
    DmxInterface* dmx = getDmxInterface();
    if (!dmx)
        return core::ITF_ERR_NO_DEVICE;
    if (isBananaMode()) {
        options.addOption(proto::option::Internal, true);
        options.addOption(proto::option::BananaMode, true);
    }
    // The box waits for the driver itself; a caller's shorter or longer wait is replaced.
    return exchange(dmx, request, options, answer, CommandAnswerTimeout, false, VerifiedTimeoutMs, true);
}

int UsbVandrelLegacyBootloader::transfer(const proto::VandrelReport& report, unsigned char* reply)
{
    std::memset(reply, 0, proto::UsbPacket::ReportSize);
    if (!_usb || !_device)
        return core::ITF_ERR_NO_DEVICE;
    const proto::UsbVandrelPacket request(report.data(), int(report.size()));
    proto::UsbVandrelPacket answer;
    const int status = _usb->transferPacket(_device->getDeviceHandle(), &request, &answer);
    if (status == core::ITF_OK)
        std::memcpy(
            reply, answer.getData(), size_t(qMin<int>(answer.getDataSize(), proto::UsbPacket::ReportSize)));
    return status;
}

int UsbVandrelLegacyBootloader::waitForBox(
    qint64 deadline, bool runningOnlyInStateOne, proto::VandrelBootloaderStatus& last)
{
    unsigned char reply[proto::UsbPacket::ReportSize];
    for (;;) {
        int status = core::ITF_OK;
        if (runningOnlyInStateOne) {
            // The spam's exchanges hold the interface lock one at a time, so that
            // the monitor of the interface may poll between two of them.
            std::lock_guard<core::NetworkInterface> exchange(*_usb);
            status = transfer(proto::vandrelBootloaderStatusRequest(), reply);
        } else {
            status = transfer(proto::vandrelBootloaderStatusRequest(), reply);
        }
        if (status != core::ITF_OK)
            return status;
        last = proto::VandrelBootloaderStatus::fromReply(reply);
        const bool running = runningOnlyInStateOne ? last.state == proto::vandrel::BootloaderWaitRunning
                                                   : last.state != proto::vandrel::BootloaderWaitAnswered
                && last.state != proto::vandrel::BootloaderWaitTimedOut;
        if (!running)
            return core::ITF_OK;
        if (clock().nowMs() >= deadline) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("The box did not end its bootloader wait in time");
            return core::ITF_ERR_TIMEOUT;
        }
        clock().sleepMs(StatusPauseMs);
    }
}

int UsbVandrelLegacyBootloader::sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs)
{
    unsigned char reply[proto::UsbPacket::ReportSize];
    const proto::VandrelReport request = proto::vandrelLegacySpamRequest(timeMs);
    int status = transfer(request, reply);
    entered = false;
    if (status != core::ITF_OK) {
        elapsedMs = -1;
        return status;
    }
    const int boxTimeMs = proto::vandrelBootloaderTimeUnits(timeMs, proto::vandrel::LegacySpamUnitMs)
        * proto::vandrel::LegacySpamUnitMs;
    const qint64 deadline = clock().nowMs() + boxTimeMs + SpamSettleMs + DeadlineMarginMs;
    clock().sleepMs(SpamSettleMs);
    proto::VandrelBootloaderStatus last;
    status = waitForBox(deadline, true, last);
    if (status != core::ITF_OK) {
        elapsedMs = -1;
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << QStringLiteral("WTF happened");
        return status;
    }
    switch (last.state) {
    case proto::vandrel::BootloaderWaitAnswered:
        entered = true;
        elapsedMs = last.count * proto::vandrel::LegacySpamUnitMs;
        emit bootloaderModeVerified(SpamVerifiedTimeoutMs, timeMs);
        break;
    case proto::vandrel::BootloaderWaitTimedOut:
        elapsedMs = -1;
        break;
    default:
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << QStringLiteral("WTF happened");
        break;
    }
    return status;
}

} // namespace tarvesk::itf
