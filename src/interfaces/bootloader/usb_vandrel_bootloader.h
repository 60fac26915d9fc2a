#pragma once

#include "interfaces/bootloader/usb_vandrel_legacy_bootloader.h"

namespace tarvesk::itf {

// The bootloader of a Vandrel box with firmware 20 and later: the box itself
// spams, starts the driver's bootloader, and stops it (bootloader report, 3 ms
// units). Stopping emits bootloaderModeStopped once the box took the request,
// so that no active mode outlives the driver's bootloader.
class UsbVandrelBootloader : public UsbVandrelLegacyBootloader
{
    Q_OBJECT

public:
    enum FirmwareFunction { FUNCTION_SPAM = 0, FUNCTION_START_BOOTLOADER = 1, FUNCTION_STOP_BOOTLOADER = 2 };

    static constexpr int StopSettleMs = 42;

    UsbVandrelBootloader(LibUsbInterface* usb, IUsbVandrelDevice* device, DmxInterface* dmx, bool bananaMode);
    ~UsbVandrelBootloader() override;

    int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs) override;
    int stopBootloaderMode() override;
    int startBootloader(int timeMs, bool& entered, int& elapsedMs);
    int sendFirmwareFunction(FirmwareFunction function, int timeMs, bool& entered, int& elapsedMs);
};

} // namespace tarvesk::itf
