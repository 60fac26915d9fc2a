#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"

#include "core/core_errors.h"

namespace tarvesk::core {

ParameterData DaliMemoryBankParameterRepository::getParameterData(const std::string& pid) const
{
    const auto it = _parameters.find(pid);
    if (it == _parameters.end())
        throw ParameterError("Parameter with pid " + pid + " does not exist.");
    return it->second;
}

void DaliMemoryBankParameterRepository::addParameter(const ParameterData& data)
{
    // A second definition under the same pid would silently change what a
    // feature's parameter means; the first one stays.
    if (!_parameters.emplace(data.identifier, data).second)
        throw ParameterError("Parameter with pid " + data.identifier + " already exists.");
}

} // namespace tarvesk::core
