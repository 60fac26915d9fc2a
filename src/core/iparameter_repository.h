#pragma once

#include "core/parameters/parameter_data.h"

#include <string>

namespace tarvesk::core {

// Parameter definitions by pid.
class IParameterRepository
{
public:
    virtual ~IParameterRepository() = default;
    // The definition held under the pid; an unknown pid throws ParameterError.
    virtual ParameterData getParameterData(const std::string& pid) const = 0;
    virtual void addParameter(const ParameterData& data) = 0;
};

} // namespace tarvesk::core
