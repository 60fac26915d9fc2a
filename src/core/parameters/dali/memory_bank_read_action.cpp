#include "core/parameters/dali/memory_bank_read_action.h"

#include "core/core_errors.h"
#include "core/parameters/dali/idali_memory_bank.h"
#include "core/parameters/dali/memory_bank_location.h"
#include "core/parameters/iparameter.h"

namespace tarvesk::core {

MemoryBankReadAction::MemoryBankReadAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
    std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress)
    : MemoryBankAction(std::move(bank), std::move(converter), daliAddress)
{ }

std::string MemoryBankReadAction::getName() const
{
    return "memory_bank_read_" + _converter->getName();
}

int MemoryBankReadAction::execute(IParameter* parameter, QVariant value)
{
    Q_UNUSED(value)
    if (!parameter)
        throw ParameterError("Error reading memory block: no parameter");
    const MemoryBankLocation where = MemoryBankLocation::fromWord(parameter->getDaliMemoryBankData());
    // A text field ends at its first zero byte.
    const bool text = parameter->getParameterType() == PARAM_TYPE_STRING;
    const itf::MemoryBlockResult result
        = _bank->readMemoryBlock(_daliAddress, where.bank, where.offset, where.length, text);
    const std::string failure = "Error reading memory block: " + std::to_string(result.status);
    if (!result.doubt.empty())
        throw MemoryBlockInDoubt(failure + " (" + result.doubt + ")", result.status);
    if (result.status == itf::MemoryLocationNoAnswer)
        throw MemoryLocationUnanswered(failure);
    if (result.status != 0)
        throw ParameterError(failure);
    parameter->setValue(_converter->convert(result.bytes, where.length), IParameter::UPDATE_NO);
    return 0;
}

} // namespace tarvesk::core
