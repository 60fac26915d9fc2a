#pragma once

#include "interfaces/bootloader/bootloader_state_factory.h"

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {

class IBootloader;
class IBootloaderModeControl;

// The states of a bus interface of a Vandrel box: the start goes through the
// interface's mode control, the verification reads a row through the
// bootloader, and with the options the readiness is the device's Dorvane slave
// role. The device is the Vandrel device the interface belongs to, as a core
// device; nothing is owned.
class UsbVdBootloaderStateFactory : public BootloaderStateFactory
{
public:
    UsbVdBootloaderStateFactory(core::Device* device, IBootloaderModeControl* modeControl,
        IBootloader* bootloader, const QList<OPTIONS>& options);
    ~UsbVdBootloaderStateFactory() override;

    BootloaderState* createCheckReadyState() override;
    BootloaderState* createMakeReadyState() override;
    BootloaderState* createVerifyState(qint64 startTime) override;
    BootloaderState* createStartBootloadersState() override;

private:
    core::Device* _device;
    IBootloaderModeControl* _modeControl;
    IBootloader* _bootloader;
};

} // namespace tarvesk::itf
