#pragma once

#include "core/device.h"

#include <functional>

namespace tarvesk::devices {

// Builds the raw interface of one current-control chip (1 or 2) and memory
// under the name it is registered by.
using NordhuneInterfaceMaker = std::function<core::RawParameterInterface*(
    const QString& name, int chip, core::Device::MemoryLocation memory)>;

// Registers (not as main) the raw interfaces of a driver's two Nordhune
// current-control chips, in the order nordhune1_ram, nordhune1_ee,
// nordhune2_ram, nordhune2_ee; profile types and "param_type" name them so.
void addNordhuneInterfaces(core::Device& device, const NordhuneInterfaceMaker& make);

} // namespace tarvesk::devices
