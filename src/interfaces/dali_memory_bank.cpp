#include "interfaces/dali_memory_bank.h"

#include "core/itf_error.h"
#include "interfaces/dali_exception.h"
#include "protocol/dali/dali_command_table.h"

#include <string>

namespace tarvesk::itf {

namespace {

using Dali = proto::DaliCommandTable;

constexpr std::uint8_t FirstLatchingBank = 202;
constexpr std::uint8_t LastLatchingBank = 204;

// A memory-location frame whose answer may be another location's: another
// master's frame came beside ours, or moved the gear's memory pointer after
// we selected the location.
constexpr int InDoubt = core::ITF_ERR_PACKET_NOT_ANSWER;
// Starts of a block read (from selecting its location) when each went in doubt.
constexpr int MaxStarts = 3;

std::string where(std::uint8_t bank, int location)
{
    return "bank " + std::to_string(bank) + ", location " + std::to_string(location);
}

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
    for (int start = 1;; ++start) {
        if (latched) {
            const MemoryBlockResult latch = setLockByte(daliAddress, bank, Dali::LatchValue);
            if (latch.status != 0) {
                // Unless the gear plainly did not take it, the latch may stand.
                if (latch.status != DaliException::NoAnswer)
                    setLockByte(daliAddress, bank, Dali::LockedValue);
                return latch;
            }
        }
        int next = location;
        MemoryBlockResult result = readBytes(daliAddress, bank, location, count, stopAtZero, next);
        // The gear's pointer moved on beside ours, or our latch may have been
        // released: the bytes read so far may be right, the next would not be.
        // Start again, from the latch when there is one.
        const bool again = result.status == InDoubt && start < MaxStarts;
        if (result.status == InDoubt && !again)
            result = {core::ITF_ERR_TOO_MANY_RETRIES, {},
                "reading " + where(bank, next) + " was in doubt " + std::to_string(start)
                    + " times: its answer may be another location's"};
        if (latched && !again) {
            // A bank left latched would show frozen values from now on.
            const MemoryBlockResult release = setLockByte(daliAddress, bank, Dali::LockedValue);
            if (result.status == 0 && release.status != 0)
                result = release;
        }
        if (!again)
            return result;
    }
}

MemoryBlockResult DaliMemoryBank::setLockByte(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value)
{
    // Writing the lock byte selects its location first, so writing the same
    // value again after an answer in doubt does no harm.
    for (int start = 1;; ++start) {
        try {
            if (value == Dali::UnlockValue)
                _utility->unlockMemoryBank(daliAddress, bank);
            else
                _utility->writeLockByte(daliAddress, bank, value);
            return {};
        } catch (const DaliException& error) {
            if (error.code() != InDoubt)
                return {error.code(), {}, {}};
            if (start >= MaxStarts)
                return {core::ITF_ERR_TOO_MANY_RETRIES, {},
                    "writing the lock byte of " + where(bank, Dali::LockByteLocation) + " was in doubt "
                        + std::to_string(start) + " times"};
        }
    }
}

MemoryBlockResult DaliMemoryBank::readBytes(std::uint8_t daliAddress, std::uint8_t bank,
    std::uint8_t location, std::uint8_t count, bool stopAtZero, int& next)
{
    MemoryBlockResult result;
    try {
        _utility->selectMemoryBankAndAddress(bank, location);
        // The gear advances DTR0 after every read, so the location is selected once.
        for (int i = 0; i < count; ++i, ++next) {
            const DaliAnswer byte = _utility->readMemoryLocation(daliAddress);
            if (!byte)
                return {DaliException::NoAnswer, {}, {}};
            result.bytes.push_back(*byte);
            if (stopAtZero && *byte == 0)
                break;
        }
        return result;
    } catch (const DaliException& error) {
        return {error.code(), {}, {}};
    }
}

MemoryBlockResult DaliMemoryBank::writeMemoryBlock(
    std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location, std::vector<std::uint8_t> bytes)
{
    const MemoryBlockResult unlock = setLockByte(daliAddress, bank, Dali::UnlockValue);
    if (unlock.status != 0)
        return unlock;
    int next = location;
    try {
        _utility->selectMemoryAddress(location);
        for (const std::uint8_t byte : bytes) {
            const DaliAnswer echo = _utility->writeMemoryLocation(byte);
            if (!echo)
                return {DaliException::NoAnswer, {}, {}};
            if (*echo != byte)
                return {DaliException::WrongAnswer, {}, {}};
            ++next;
        }
    } catch (const DaliException& error) {
        // Written in doubt, the byte may have gone to another location: the
        // caller is told which one was meant, and nothing is written again.
        if (error.code() == InDoubt)
            return {error.code(), {},
                "writing " + where(bank, next) + " was in doubt: the byte may have gone to another location"};
        return {error.code(), {}, {}};
    }
    return {};
}

} // namespace tarvesk::itf
