#pragma once

#include <string>

namespace tarvesk::core {

// The names of the device actions that read and write a parameter; an empty
// name means that the parameter has no such action.
struct ParameterActionData
{
    std::string readAction;
    std::string writeAction;
};

} // namespace tarvesk::core
