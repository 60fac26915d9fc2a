#pragma once

#include "interfaces/bootloader/wystrel_bootloader.h"

#include "protocol/usb/vandrel_request.h"

namespace tarvesk::proto {
struct VandrelBootloaderStatus;
}

namespace tarvesk::itf {

class IUsbVandrelDevice;
class LibUsbInterface;

// The bootloader of a Vandrel box with firmware 18 and 19: the Wystrel frames
// of the base (with longer waits, and the bootloader proven only by a valid
// answer), and a spam that the box repeats itself while the driver restarts
// (bootloader report, 12 ms units).
//
// Every transfer takes the device's handle of that moment, so that a box
// reconnected since the set-up is reached on its new handle. The box's wait
// is polled with short pauses up to a deadline of the host: a box that never
// ends its wait gives ITF_ERR_TIMEOUT, not a hang.
class UsbVandrelLegacyBootloader : public WystrelBootloader
{
    Q_OBJECT

public:
    static constexpr unsigned int VerifiedTimeoutMs = 500;
    static constexpr unsigned int SpamVerifiedTimeoutMs = 400;
    static constexpr int CommandAnswerTimeout = 10000;
    static constexpr int SpamSettleMs = 200;
    static constexpr int StatusPauseMs = 10;
    // How long past the time the box was given the host still waits for its end.
    static constexpr int DeadlineMarginMs = 2000;

    UsbVandrelLegacyBootloader(
        LibUsbInterface* usb, IUsbVandrelDevice* device, DmxInterface* dmx, bool bananaMode);
    ~UsbVandrelLegacyBootloader() override;

    bool checkDeviceInBootloaderMode() override;
    int writeRows(QStringList rows, int& count, int& retryCount, unsigned char deviceAddress) override;
    int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs) override;
    int sendBootloaderCommand(
        proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer) override;
    int writeRowAddress(unsigned short address, QString rowData, unsigned char& status, int& retries,
        unsigned char deviceAddress) override;

protected:
    // One report to the box on the device's current handle; the reply's bytes
    // go to reply (64 of them).
    int transfer(const proto::VandrelReport& report, unsigned char* reply);
    // Polls the status until it leaves the running state (only state 1 runs for
    // the spam of firmware 18, any state but 2 and 3 for the functions), a
    // transfer fails or the deadline passes; pauses between polls.
    int waitForBox(qint64 deadline, bool runningOnlyInStateOne, proto::VandrelBootloaderStatus& last);

    LibUsbInterface* usb() const { return _usb; }

private:
    LibUsbInterface* _usb;      // not owned
    IUsbVandrelDevice* _device; // not owned: the Vandrel device, for its current handle
};

} // namespace tarvesk::itf
