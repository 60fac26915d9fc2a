#include "interfaces/dali_memory_bank_utility.h"

#include "interfaces/dali_commands.h"
#include "interfaces/dali_exception.h"

#include <string>

namespace tarvesk::itf {

using namespace dali;

DaliMemoryBankUtility::DaliMemoryBankUtility(std::shared_ptr<IDali> dali)
    : _dali(std::move(dali))
{ }

DaliMemoryBankUtility::~DaliMemoryBankUtility() = default;

void DaliMemoryBankUtility::selectMemoryBank(std::uint8_t bank)
{
    _dali->sendSpecialCommand(SPECIAL_DTR1, bank);
}

void DaliMemoryBankUtility::selectMemoryAddress(std::uint8_t location)
{
    _dali->sendSpecialCommand(SPECIAL_DTR0, location);
}

void DaliMemoryBankUtility::selectMemoryBankAndAddress(std::uint8_t bank, std::uint8_t location)
{
    selectMemoryBank(bank);
    selectMemoryAddress(location);
}

void DaliMemoryBankUtility::unlockMemoryBank(std::uint8_t daliAddress, std::uint8_t bank)
{
    selectMemoryBankAndAddress(bank, LockByteLocation);
    _dali->sendCommandTwice(daliAddress, OPCODE_ENABLE_WRITE_MEMORY);
    const DaliAnswer answer
        = _dali->sendSpecialCommandExpectingAnswer(SPECIAL_WRITE_MEMORY_LOCATION, UnlockValue);
    const std::string prefix = "Failed to unlock memory bank: " + std::to_string(bank);
    if (!answer)
        throw DaliException(prefix + ": no answer from WRITE MEMORY LOCATION", DaliException::NoAnswer);
    if (*answer != UnlockValue)
        throw DaliException(prefix + ": writing " + std::to_string(UnlockValue) + " and got answer "
                + std::to_string(*answer) + ")",
            DaliException::WrongAnswer);
}

DaliAnswer DaliMemoryBankUtility::readMemoryLocation(std::uint8_t daliAddress)
{
    return _dali->sendCommandExpectingAnswer(daliAddress, OPCODE_READ_MEMORY_LOCATION);
}

DaliAnswer DaliMemoryBankUtility::writeMemoryLocation(std::uint8_t value)
{
    return _dali->sendSpecialCommandExpectingAnswer(SPECIAL_WRITE_MEMORY_LOCATION, value);
}

} // namespace tarvesk::itf
