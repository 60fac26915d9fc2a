#pragma once

#include "core/parameters/dali/memory_bank_action.h"

namespace tarvesk::core {

// Reads a parameter's block from the gear and stores the converted value.
// Failures throw ParameterError (MemoryLocationUnanswered when the gear does
// not answer, as gear without that bank does); the parameter then keeps its
// value.
class MemoryBankReadAction : public MemoryBankAction
{
public:
    // Throws std::invalid_argument for a null bank or converter.
    MemoryBankReadAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
        std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress = Broadcast);

    std::string getName() const override;
    int execute(IParameter* parameter, QVariant value) override;
};

} // namespace tarvesk::core
