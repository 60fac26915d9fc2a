#include "interfaces/dali_memory_bank_actions.h"

#include "core/parameter_action_repository.h"
#include "core/parameters/dali/memory_bank_read_action.h"
#include "core/parameters/dali/memory_bank_write_action.h"
#include "core/parameters/dali/memory_block_bool_converter.h"
#include "core/parameters/dali/memory_block_integer_converter.h"
#include "core/parameters/dali/memory_block_string_converter.h"
#include "interfaces/dali_memory_bank.h"
#include "interfaces/dali_memory_bank_utility.h"

namespace tarvesk::itf {

void addActionsForDaliInterfaceToRepository(
    core::ParameterActionRepository& repository, std::shared_ptr<IDali> dali, std::uint8_t daliAddress)
{
    auto utility = std::make_shared<DaliMemoryBankUtility>(std::move(dali));
    auto bank = std::make_shared<DaliMemoryBank>(utility);
    const std::shared_ptr<core::IMemoryBlockConverter> converters[] = {
        std::make_shared<core::MemoryBlockIntegerConverter>(),
        std::make_shared<core::MemoryBlockStringConverter>(),
        std::make_shared<core::MemoryBlockBoolConverter>(),
    };
    for (const auto& converter : converters) {
        repository.addAction(std::make_shared<core::MemoryBankReadAction>(bank, converter, daliAddress));
        repository.addAction(std::make_shared<core::MemoryBankWriteAction>(bank, converter, daliAddress));
    }
}

} // namespace tarvesk::itf
