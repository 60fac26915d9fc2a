#include "interfaces/bootloader/usb_vd_check_ready_bootloader_state.h"

#include "core/device.h"

namespace tarvesk::itf {

UsbVdCheckReadyBootloaderState::UsbVdCheckReadyBootloaderState(
    BootloaderStateMachine* machine, core::Device* device)
    : CheckReadyBootloaderState(machine)
    , _device(device)
{ }

UsbVdCheckReadyBootloaderState::~UsbVdCheckReadyBootloaderState() = default;

bool UsbVdCheckReadyBootloaderState::checkReady() const
{
    return _device && _device->isStatusTrue(core::Device::STATUS_DORVANE_SLAVE_ENABLED);
}

} // namespace tarvesk::itf
