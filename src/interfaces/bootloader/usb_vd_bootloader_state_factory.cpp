#include "interfaces/bootloader/usb_vd_bootloader_state_factory.h"

#include "interfaces/bootloader/usb_vd_check_ready_bootloader_state.h"
#include "interfaces/bootloader/usb_vd_make_ready_bootloader_state.h"
#include "interfaces/bootloader/usb_vd_start_bootloader_state.h"
#include "interfaces/bootloader/usb_vd_verify_bootloader_state.h"

namespace tarvesk::itf {

UsbVdBootloaderStateFactory::UsbVdBootloaderStateFactory(core::Device* device,
    IBootloaderModeControl* modeControl, IBootloader* bootloader, const QList<OPTIONS>& options)
    : BootloaderStateFactory(options)
    , _device(device)
    , _modeControl(modeControl)
    , _bootloader(bootloader)
{ }

UsbVdBootloaderStateFactory::~UsbVdBootloaderStateFactory() = default;

BootloaderState* UsbVdBootloaderStateFactory::createCheckReadyState()
{
    if (hasOption(USE_VD_CHECK_READY))
        return new UsbVdCheckReadyBootloaderState(getStateMachine(), _device);
    return BootloaderStateFactory::createCheckReadyState();
}

BootloaderState* UsbVdBootloaderStateFactory::createMakeReadyState()
{
    if (hasOption(USE_VD_MAKE_READY))
        return new UsbVdMakeReadyBootloaderState(getStateMachine(), _device);
    return BootloaderStateFactory::createMakeReadyState();
}

BootloaderState* UsbVdBootloaderStateFactory::createVerifyState(qint64 startTime)
{
    return new UsbVdVerifyBootloaderState(getStateMachine(), _device, _bootloader, startTime);
}

BootloaderState* UsbVdBootloaderStateFactory::createStartBootloadersState()
{
    return new UsbVdStartBootloaderState(getStateMachine(), _device, _modeControl);
}

} // namespace tarvesk::itf
