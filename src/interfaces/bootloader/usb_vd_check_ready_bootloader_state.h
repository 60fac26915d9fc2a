#pragma once

#include "interfaces/bootloader/check_ready_bootloader_state.h"

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {

// Ready when the Vandrel device plays its Dorvane slave role.
class UsbVdCheckReadyBootloaderState : public CheckReadyBootloaderState
{
    Q_OBJECT

public:
    UsbVdCheckReadyBootloaderState(BootloaderStateMachine* machine, core::Device* device);
    ~UsbVdCheckReadyBootloaderState() override;

    bool checkReady() const override;

private:
    core::Device* _device; // not owned
};

} // namespace tarvesk::itf
