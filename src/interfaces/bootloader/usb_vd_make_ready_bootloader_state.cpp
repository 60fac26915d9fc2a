#include "interfaces/bootloader/usb_vd_make_ready_bootloader_state.h"

#include "core/device.h"
#include "core/itf_error.h"

namespace tarvesk::itf {

UsbVdMakeReadyBootloaderState::UsbVdMakeReadyBootloaderState(
    BootloaderStateMachine* machine, core::Device* device)
    : MakeReadyBootloaderState(machine)
    , _device(device)
{ }

UsbVdMakeReadyBootloaderState::~UsbVdMakeReadyBootloaderState() = default;

bool UsbVdMakeReadyBootloaderState::makeReady()
{
    return _device && _device->setStatus(core::Device::STATUS_DORVANE_SLAVE_ENABLED, 1) == core::ITF_OK;
}

} // namespace tarvesk::itf
