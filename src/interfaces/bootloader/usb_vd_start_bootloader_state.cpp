#include "interfaces/bootloader/usb_vd_start_bootloader_state.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/bootloader/bootloader_clock.h"
#include "interfaces/ibootloader_mode_control.h"
#include "protocol/packet_log.h"

namespace tarvesk::itf {

UsbVdStartBootloaderState::UsbVdStartBootloaderState(
    BootloaderStateMachine* machine, core::Device* device, IBootloaderModeControl* modeControl)
    : StartBootloaderState(machine)
    , _device(device)
    , _modeControl(modeControl)
{ }

UsbVdStartBootloaderState::~UsbVdStartBootloaderState() = default;

bool UsbVdStartBootloaderState::startBootloader(qint64& startTime)
{
    if (_device)
        _device->getPacketLog()->info(tr("USB start bootloader"));
    if (!_modeControl)
        return false;
    bool entered = false;
    int elapsedMs = 0;
    const int status = _modeControl->startBootloader(StartTimeoutMs, entered, elapsedMs);
    startTime = clock().nowMs();
    return status == core::ITF_OK && entered;
}

} // namespace tarvesk::itf
