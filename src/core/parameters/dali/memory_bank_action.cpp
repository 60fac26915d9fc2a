#include "core/parameters/dali/memory_bank_action.h"

#include <stdexcept>

namespace tarvesk::core {

MemoryBankAction::MemoryBankAction(std::shared_ptr<itf::IDaliMemoryBank> bank,
    std::shared_ptr<IMemoryBlockConverter> converter, std::uint8_t daliAddress)
    : _bank(std::move(bank))
    , _converter(std::move(converter))
    , _daliAddress(daliAddress)
{
    if (!_bank)
        throw std::invalid_argument("Memory bank is null");
    if (!_converter)
        throw std::invalid_argument("Memory block converter is null");
}

} // namespace tarvesk::core
