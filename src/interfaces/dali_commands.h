#pragma once

namespace tarvesk::itf::dali {

// IEC 62386-102 frames that the DALI interfaces build themselves. Special
// commands are the first byte of their frame; opcodes the second byte after an
// address byte.
enum SpecialCommand : unsigned char {
    SPECIAL_TERMINATE = 0xA1,
    SPECIAL_DTR0 = 0xA3,
    SPECIAL_ENABLE_DEVICE_TYPE = 0xC1,
    SPECIAL_DTR1 = 0xC3,
    SPECIAL_DTR2 = 0xC5,
    SPECIAL_WRITE_MEMORY_LOCATION = 0xC7
};

enum Opcode : unsigned char {
    OPCODE_ENABLE_WRITE_MEMORY = 0x81,
    OPCODE_QUERY_CONTENT_DTR2 = 0x9D,
    OPCODE_READ_MEMORY_LOCATION = 0xC5
};

// Every memory bank but bank 0 is write-protected by its lock byte at location
// 2; writing this value into it after ENABLE WRITE MEMORY opens the bank.
constexpr unsigned char LockByteLocation = 2;
constexpr unsigned char UnlockValue = 0x55;

} // namespace tarvesk::itf::dali
