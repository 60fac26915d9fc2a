#include "interfaces/bootloader/usb_vd_verify_bootloader_state.h"

#include "core/device.h"
#include "interfaces/bootloader/ibootloader.h"
#include "protocol/packet_log.h"

namespace tarvesk::itf {

UsbVdVerifyBootloaderState::UsbVdVerifyBootloaderState(
    BootloaderStateMachine* machine, core::Device* device, IBootloader* bootloader, qint64 startTime)
    : VerifyBootloaderState(machine, startTime)
    , _device(device)
    , _bootloader(bootloader)
{ }

UsbVdVerifyBootloaderState::~UsbVdVerifyBootloaderState() = default;

bool UsbVdVerifyBootloaderState::verifyBootloader()
{
    if (_device)
        _device->getPacketLog()->info(tr("USB Vandrel verify"));
    return _bootloader && _bootloader->checkDeviceInBootloaderMode();
}

} // namespace tarvesk::itf
