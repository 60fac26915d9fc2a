#include "interfaces/dali_memory_bank_utility.h"

#include "interfaces/dali_exception.h"
#include "protocol/dali/dali_command_table.h"

#include <string>

namespace tarvesk::itf {

namespace {

using Dali = proto::DaliCommandTable;

constexpr quint8 Dtr0 = Dali::special("DTR0");
constexpr quint8 Dtr1 = Dali::special("DTR1");
constexpr quint8 WriteMemoryLocation = Dali::special("WRITE MEMORY LOCATION");
constexpr quint8 EnableWriteMemory = Dali::opcode("ENABLE WRITE MEMORY");
constexpr quint8 ReadMemoryLocation = Dali::opcode("READ MEMORY LOCATION");

} // namespace

DaliMemoryBankUtility::DaliMemoryBankUtility(std::shared_ptr<IDali> dali)
    : _dali(std::move(dali))
{ }

DaliMemoryBankUtility::~DaliMemoryBankUtility() = default;

void DaliMemoryBankUtility::selectMemoryBank(std::uint8_t bank)
{
    _dali->sendSpecialCommand(Dtr1, bank);
}

void DaliMemoryBankUtility::selectMemoryAddress(std::uint8_t location)
{
    _dali->sendSpecialCommand(Dtr0, location);
}

void DaliMemoryBankUtility::selectMemoryBankAndAddress(std::uint8_t bank, std::uint8_t location)
{
    selectMemoryBank(bank);
    selectMemoryAddress(location);
}

void DaliMemoryBankUtility::unlockMemoryBank(std::uint8_t daliAddress, std::uint8_t bank)
{
    setLockByte(
        daliAddress, bank, Dali::UnlockValue, "Failed to unlock memory bank: " + std::to_string(bank));
}

void DaliMemoryBankUtility::writeLockByte(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value)
{
    setLockByte(
        daliAddress, bank, value, "Failed to write the lock byte of memory bank: " + std::to_string(bank));
}

void DaliMemoryBankUtility::setLockByte(
    std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value, const std::string& prefix)
{
    selectMemoryBankAndAddress(bank, Dali::LockByteLocation);
    _dali->sendCommandTwice(daliAddress, EnableWriteMemory);
    const DaliAnswer answer = _dali->sendSpecialCommandExpectingAnswer(WriteMemoryLocation, value);
    if (!answer)
        throw DaliException(prefix + ": no answer from WRITE MEMORY LOCATION", DaliException::NoAnswer);
    if (*answer != value)
        throw DaliException(prefix + ": writing " + std::to_string(value) + " and got answer "
                + std::to_string(*answer) + ")",
            DaliException::WrongAnswer);
}

DaliAnswer DaliMemoryBankUtility::readMemoryLocation(std::uint8_t daliAddress)
{
    return _dali->sendCommandExpectingAnswer(daliAddress, ReadMemoryLocation);
}

DaliAnswer DaliMemoryBankUtility::writeMemoryLocation(std::uint8_t value)
{
    return _dali->sendSpecialCommandExpectingAnswer(WriteMemoryLocation, value);
}

} // namespace tarvesk::itf
