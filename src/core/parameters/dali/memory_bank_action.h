#pragma once

#include "core/iparameter_action.h"
#include "core/parameters/dali/imemory_block_converter.h"

#include <cstdint>
#include <memory>

namespace tarvesk::itf {
class IDaliMemoryBank;
}

namespace tarvesk::core {

// What the memory-bank read and write actions share: the bank they reach, the
// converter between the block's bytes and the parameter's value, and the
// address of the gear they talk to.
class MemoryBankAction : public IParameterAction
{
public:
    // The address byte to which memory-bank reads and the write enabling go.
    static constexpr std::uint8_t Broadcast = 0xFF;

protected:
    // Throws std::invalid_argument for a null bank or converter.
    MemoryBankAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
        std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress);

    std::shared_ptr<itf::IDaliMemoryBank> _bank;
    std::shared_ptr<IMemoryBlockConverter> _converter;
    std::uint8_t _daliAddress;
};

} // namespace tarvesk::core
