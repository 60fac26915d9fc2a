#include "devices/nordhune_interfaces.h"

#include <QCoreApplication>

namespace tarvesk::devices {

void addNordhuneInterfaces(core::Device& device, const NordhuneInterfaceMaker& make)
{
    for (int chip = 1; chip <= 2; ++chip) {
        for (const core::Device::MemoryLocation memory : {core::Device::MEM_RAM, core::Device::MEM_EE}) {
            const QString name
                = (memory == core::Device::MEM_RAM ? QCoreApplication::translate("Device", "nordhune%1_ram")
                                                   : QCoreApplication::translate("Device", "nordhune%1_ee"))
                      .arg(chip);
            device.addRawParameterInterface(make(name, chip, memory), false);
        }
    }
}

} // namespace tarvesk::devices
