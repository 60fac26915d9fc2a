#pragma once

#include <array>

namespace tarvesk::core {

class IParameter;

// One built-in driver parameter: the identifier under which the factory
// makes it, its class, and how to make it. A missing maker means that the
// class is not built yet; the factory then gives a plain parameter.
struct BuiltinParameter
{
    const char* identifier;
    const char* className;
    IParameter* (*make)();
};

template <typename T> IParameter* makeBuiltinParameter()
{
    return new T();
}

// The built-in driver parameters, in the order in which the factory compares
// identifiers. This is the one place that maps identifiers to their classes.
const std::array<BuiltinParameter, 36>& builtinParameters();

} // namespace tarvesk::core
