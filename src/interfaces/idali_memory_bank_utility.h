#pragma once

#include "interfaces/idali.h"

#include <cstdint>

namespace tarvesk::itf {

// The memory-bank primitives of IEC 62386-102: a bank is selected in DTR1, a
// location in DTR0; reads and writes advance DTR0 in the gear. Failures of the
// bus are DaliExceptions.
class IDaliMemoryBankUtility
{
public:
    virtual ~IDaliMemoryBankUtility() = default;

    virtual void selectMemoryBank(std::uint8_t bank) = 0;
    virtual void selectMemoryAddress(std::uint8_t location) = 0;
    virtual void selectMemoryBankAndAddress(std::uint8_t bank, std::uint8_t location) = 0;
    // Opens a bank for writing through its lock byte; throws when the gear does not confirm it.
    virtual void unlockMemoryBank(std::uint8_t daliAddress, std::uint8_t bank) = 0;
    // Writes a value to a bank's lock byte (the latch of the D4i energy banks);
    // throws when the gear does not confirm it.
    virtual void writeLockByte(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value) = 0;
    virtual DaliAnswer readMemoryLocation(std::uint8_t daliAddress) = 0;
    // The answer is the value that the location now holds.
    virtual DaliAnswer writeMemoryLocation(std::uint8_t value) = 0;
};

} // namespace tarvesk::itf
