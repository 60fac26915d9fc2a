#pragma once

#include "interfaces/bootloader/start_bootloader_state.h"

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {

class IBootloaderModeControl;

// Starts the bootloader through the bus interface's mode control (3 s) and
// notes the time of the start.
class UsbVdStartBootloaderState : public StartBootloaderState
{
    Q_OBJECT

public:
    static constexpr int StartTimeoutMs = 3000;

    UsbVdStartBootloaderState(
        BootloaderStateMachine* machine, core::Device* device, IBootloaderModeControl* modeControl);
    ~UsbVdStartBootloaderState() override;

    bool startBootloader(qint64& startTime) override;

private:
    core::Device* _device;                // not owned
    IBootloaderModeControl* _modeControl; // not owned
};

} // namespace tarvesk::itf
