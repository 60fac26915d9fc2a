#pragma once

#include "core/parameters/dali/idali_memory_bank.h"
#include "interfaces/idali_memory_bank_utility.h"

#include <memory>

namespace tarvesk::itf {

// Block access over the memory-bank primitives. Values of several bytes in
// the D4i energy banks (202 to 204) are read under the bank's latch, which is
// released again afterwards, whatever became of the read (unless the gear
// plainly did not take the latch). A memory-location frame in doubt (another
// master's traffic beside ours) makes a read start again from selecting the
// location, or from writing the latch, a bounded number of times; a write in
// doubt fails, naming the location.
class DaliMemoryBank : public IDaliMemoryBank
{
public:
    explicit DaliMemoryBank(std::shared_ptr<IDaliMemoryBankUtility> utility);
    ~DaliMemoryBank() override;

    MemoryBlockResult readMemoryBlock(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location,
        std::uint8_t count, bool stopAtZero) override;
    MemoryBlockResult writeMemoryBlock(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location,
        std::vector<std::uint8_t> bytes) override;

private:
    MemoryBlockResult setLockByte(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value);
    // One read from selecting the location on; `next` is left at the location
    // it came to.
    MemoryBlockResult readBytes(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location,
        std::uint8_t count, bool stopAtZero, int& next);

    const std::shared_ptr<IDaliMemoryBankUtility> _utility;
};

} // namespace tarvesk::itf
