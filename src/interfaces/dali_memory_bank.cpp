#include "interfaces/dali_memory_bank.h"

#include "interfaces/dali_exception.h"
#include "protocol/dali/dali_command_table.h"

namespace tarvesk::itf {

namespace {

using Dali = proto::DaliCommandTable;

constexpr std::uint8_t FirstLatchingBank = 202;
constexpr std::uint8_t LastLatchingBank = 204;

} // namespace

DaliMemoryBank::DaliMemoryBank(std::shared_ptr<IDaliMemoryBankUtility> utility)
    : _utility(std::move(utility))
{ }

DaliMemoryBank::~DaliMemoryBank() = default;

MemoryBlockResult DaliMemoryBank::readMemoryBlock(
    std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location, std::uint8_t count, bool stopAtZero)
{
    // The energy banks of D4i gear keep counting while they are read: a value
    // of several bytes is read under the bank's latch, or a carry between two
    // bytes would give a number the gear never held.
    const bool latched = bank >= FirstLatchingBank && bank <= LastLatchingBank && count > 1;
    if (latched) {
        try {
            _utility->writeLockByte(daliAddress, bank, Dali::LatchValue);
        } catch (const DaliException& error) {
            return {error.code(), {}};
        }
    }
    MemoryBlockResult result = readBytes(daliAddress, bank, location, count, stopAtZero);
    if (latched) {
        try {
            _utility->writeLockByte(daliAddress, bank, Dali::LockedValue);
        } catch (const DaliException& error) {
            // A bank left latched would show frozen values from now on.
            if (result.status == 0)
                result = {error.code(), {}};
        }
    }
    return result;
}

MemoryBlockResult DaliMemoryBank::readBytes(
    std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location, std::uint8_t count, bool stopAtZero)
{
    MemoryBlockResult result;
    try {
        _utility->selectMemoryBankAndAddress(bank, location);
        // The gear advances DTR0 after every read, so the location is selected once.
        for (int i = 0; i < count; ++i) {
            const DaliAnswer byte = _utility->readMemoryLocation(daliAddress);
            if (!byte)
                return {DaliException::NoAnswer, {}};
            result.bytes.push_back(*byte);
            if (stopAtZero && *byte == 0)
                break;
        }
    } catch (const DaliException& error) {
        return {error.code(), {}};
    }
    return result;
}

MemoryBlockResult DaliMemoryBank::writeMemoryBlock(
    std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location, std::vector<std::uint8_t> bytes)
{
    try {
        _utility->unlockMemoryBank(daliAddress, bank);
        _utility->selectMemoryAddress(location);
        for (const std::uint8_t byte : bytes) {
            const DaliAnswer echo = _utility->writeMemoryLocation(byte);
            if (!echo)
                return {DaliException::NoAnswer, {}};
            if (*echo != byte)
                return {DaliException::WrongAnswer, {}};
        }
    } catch (const DaliException& error) {
        return {error.code(), {}};
    }
    return {};
}

} // namespace tarvesk::itf
