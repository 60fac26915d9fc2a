#pragma once

#include "interfaces/bootloader/verify_bootloader_state.h"

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {

class IBootloader;

// Verified when the bootloader answers a row read.
class UsbVdVerifyBootloaderState : public VerifyBootloaderState
{
    Q_OBJECT

public:
    UsbVdVerifyBootloaderState(
        BootloaderStateMachine* machine, core::Device* device, IBootloader* bootloader, qint64 startTime);
    ~UsbVdVerifyBootloaderState() override;

    bool verifyBootloader() override;

private:
    core::Device* _device;    // not owned
    IBootloader* _bootloader; // not owned
};

} // namespace tarvesk::itf
