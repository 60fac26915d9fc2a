#include "core/parameters/dali/memory_bank_write_action.h"

#include "core/core_errors.h"
#include "core/parameters/dali/idali_memory_bank.h"
#include "core/parameters/dali/memory_bank_location.h"
#include "core/parameters/iparameter.h"

namespace tarvesk::core {

MemoryBankWriteAction::MemoryBankWriteAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
    std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress)
    : MemoryBankAction(std::move(bank), std::move(converter), daliAddress)
{ }

std::string MemoryBankWriteAction::getName() const
{
    return "memory_bank_write_" + _converter->getName();
}

int MemoryBankWriteAction::execute(IParameter* parameter, QVariant value)
{
    if (!parameter)
        throw ParameterError("Error writing to memory bank: no parameter");
    const MemoryBankLocation where = MemoryBankLocation::fromWord(parameter->getDaliMemoryBankData());
    // Converted first: a value that does not convert writes nothing.
    const std::vector<unsigned char> bytes = _converter->convert(value, where.length);
    const itf::MemoryBlockResult result
        = _bank->writeMemoryBlock(_daliAddress, where.bank, where.offset, bytes);
    const std::string failure = "Error writing to memory bank: " + std::to_string(result.status);
    if (!result.doubt.empty())
        throw MemoryBlockInDoubt(failure + " (" + result.doubt + ")", result.status);
    if (result.status != 0)
        throw ParameterError(failure);
    parameter->setValue(value, IParameter::UPDATE_NO);
    return 0;
}

} // namespace tarvesk::core
