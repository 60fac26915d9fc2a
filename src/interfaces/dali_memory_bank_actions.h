#pragma once

#include "interfaces/idali.h"

#include <cstdint>
#include <memory>

namespace tarvesk::core {
class ParameterActionRepository;
}

namespace tarvesk::itf {

// Registers the six memory-bank parameter actions of a DALI device (read and
// write for integer, string and bool fields) over one memory bank built on
// `dali`, replacing earlier actions of the same names. Memory-bank reads and the
// write enabling go to `daliAddress`: the device's own address byte, so that
// other gear on the bus neither answer nor open their banks.
void addActionsForDaliInterfaceToRepository(core::ParameterActionRepository& repository,
    std::shared_ptr<IDali> dali, std::uint8_t daliAddress = 0xFF);

} // namespace tarvesk::itf
