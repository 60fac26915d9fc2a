#pragma once

#include "interfaces/bootloader/make_ready_bootloader_state.h"

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {

// Asks the Vandrel device to take its Dorvane slave role.
class UsbVdMakeReadyBootloaderState : public MakeReadyBootloaderState
{
    Q_OBJECT

public:
    UsbVdMakeReadyBootloaderState(BootloaderStateMachine* machine, core::Device* device);
    ~UsbVdMakeReadyBootloaderState() override;

    bool makeReady() override;

private:
    core::Device* _device; // not owned
};

} // namespace tarvesk::itf
