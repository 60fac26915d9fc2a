#pragma once

#include "core/iparameter_action.h"
#include "core/parameters/dali/imemory_block_converter.h"

#include <cstdint>
#include <memory>

namespace tarvesk::itf {
class IDaliMemoryBank;
}

namespace tarvesk::core {

// Reads a parameter's block from the gear and stores the converted value.
// Failures throw ParameterError; the parameter then keeps its value.
class MemoryBankReadAction : public IParameterAction
{
public:
    // The address byte to which memory-bank reads and the write enabling go.
    static constexpr std::uint8_t Broadcast = 0xFF;

    // Throws std::invalid_argument for a null bank or converter.
    MemoryBankReadAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
        std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress = Broadcast);

    std::string getName() const override;
    int execute(IParameter* parameter, QVariant value) override;

private:
    std::shared_ptr<itf::IDaliMemoryBank> _bank;
    std::shared_ptr<IMemoryBlockConverter> _converter;
    std::uint8_t _daliAddress;
};

} // namespace tarvesk::core
