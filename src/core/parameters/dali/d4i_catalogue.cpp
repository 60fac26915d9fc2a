#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"

// The D4i catalogue: the memory-bank parameter definitions of IEC 62386 Parts
// 250 to 253. The product database's loading path calls these loaders for every
// profile type; the catalogue entries themselves are not part of this unit yet,
// so the D4i features report their parameters as unknown until they are.

namespace tarvesk::core {

void loadDaliMemoryBanksForPart250(const std::shared_ptr<IParameterRepository>&) { }

void loadDaliMemoryBanksForPart251(const std::shared_ptr<IParameterRepository>&) { }

void loadDaliMemoryBanksForPart252(const std::shared_ptr<IParameterRepository>&) { }

void loadDaliMemoryBanksForPart253(const std::shared_ptr<IParameterRepository>&) { }

} // namespace tarvesk::core
