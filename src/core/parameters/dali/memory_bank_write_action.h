#pragma once

#include "core/parameters/dali/memory_bank_action.h"

namespace tarvesk::core {

// Writes a value's bytes into the gear and, when that worked, stores the value.
// Failures throw ParameterError; the parameter then keeps its value.
class MemoryBankWriteAction : public MemoryBankAction
{
public:
    // Throws std::invalid_argument for a null bank or converter.
    MemoryBankWriteAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
        std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress = Broadcast);

    std::string getName() const override;
    int execute(IParameter* parameter, QVariant value) override;
};

} // namespace tarvesk::core
