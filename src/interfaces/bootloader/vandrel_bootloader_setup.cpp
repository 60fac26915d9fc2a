#include "interfaces/bootloader/vandrel_bootloader_setup.h"

#include "core/device.h"
#include "core/network_interface.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/bootloader_state_machine.h"
#include "interfaces/bootloader/usb_vandrel_bootloader.h"
#include "interfaces/bootloader/usb_vd_bootloader_state_factory.h"

namespace tarvesk::itf {

IBootloader* createVandrelBootloader(const core::Device& device, LibUsbInterface* usb,
    IUsbVandrelDevice* vandrel, DmxInterface* dmx, bool vandrelBanana, bool wystrelBanana)
{
    if (device.hasCapability(core::Device::CAP_VD_EMBEDDED_BOOTLOADER_FUNCTIONS))
        return new UsbVandrelBootloader(usb, vandrel, dmx, vandrelBanana);
    if (device.hasCapability(core::Device::CAP_VD_BOOTLOADER_SPAM))
        return new UsbVandrelLegacyBootloader(usb, vandrel, dmx, vandrelBanana);
    return new WystrelBootloader(dmx, wystrelBanana);
}

void installBootloaderProxy(core::NetworkInterface* target, IBootloaderModeControl* modeControl,
    core::Device* device, IBootloader* bootloader, const QList<BootloaderStateFactory::OPTIONS>& options)
{
    auto* factory = new UsbVdBootloaderStateFactory(device, modeControl, bootloader, options);
    auto* machine = new BootloaderStateMachine(factory, nullptr);
    target->setBootloaderProxyInterface(new BootloaderProxy(target, bootloader, machine));
}

} // namespace tarvesk::itf
