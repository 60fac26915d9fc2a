#pragma once

#include <cstdint>

namespace tarvesk::core {

// Where a memory-bank parameter lives, packed in 32 bits: bits 8-15 the bank,
// bits 16-23 the offset of its first byte, bits 24-31 its length in bytes
// (bits 0-7 a marker the actions do not read).
struct MemoryBankLocation
{
    std::uint8_t bank = 0;
    std::uint8_t offset = 0;
    std::uint8_t length = 0;

    static MemoryBankLocation fromWord(std::uint32_t word)
    {
        return {std::uint8_t(word >> 8), std::uint8_t(word >> 16), std::uint8_t(word >> 24)};
    }
};

} // namespace tarvesk::core
