#pragma once

#include "interfaces/bootloader/bootloader_state_factory.h"

namespace tarvesk::core {
class Device;
class NetworkInterface;
} // namespace tarvesk::core

namespace tarvesk::itf {

class DmxInterface;
class IBootloader;
class IBootloaderModeControl;
class IUsbVandrelDevice;
class LibUsbInterface;

// The bootloader a bus interface of a Vandrel box uses, by what the box can
// do: the box's own functions (firmware 20 on), its spam (firmware 18 on), or
// plain Wystrel frames. vandrelBanana is the banana mode of the first two,
// wystrelBanana that of the last.
IBootloader* createVandrelBootloader(const core::Device& device, LibUsbInterface* usb,
    IUsbVandrelDevice* vandrel, DmxInterface* dmx, bool vandrelBanana, bool wystrelBanana);

// Builds the state factory, the state machine and the proxy over the
// bootloader and hands the proxy (which takes the bootloader) to the interface.
void installBootloaderProxy(core::NetworkInterface* target, IBootloaderModeControl* modeControl,
    core::Device* device, IBootloader* bootloader, const QList<BootloaderStateFactory::OPTIONS>& options);

} // namespace tarvesk::itf
