#pragma once

#include "core/parameters/param_type.h"
#include "core/parameters/param_unit.h"

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvesk::core {

// The plain definition record from which a Parameter is built. Definition
// sources fill it field by field; the parameter copies what it needs.
// The type-erased values may hold int, unsigned int, unsigned long,
// unsigned long long, bool or a C string; empty means "not given".
struct ParameterData
{
    std::string identifier;
    std::string displayName;
    std::string description;
    ParamUnit unit = PARAM_UNIT_UNDEFINED;
    ParamType type = PARAM_TYPE_NUMBER;
    std::string group;
    std::string accessLevel;
    std::any defaultValue;
    std::vector<std::string> tags;
    std::any minValue;
    std::any maxValue;
    std::int32_t offset = 0;
    double scale = 1.0;
    double stepSize = 1.0;
    // Filled by some definition sources for their own use; a Parameter does not read it.
    std::map<std::string, std::uint32_t> namedValues;
    std::map<std::int32_t, std::string> specialValues;
    std::uint32_t daliMemoryBankData = 0;
    std::string readAction;
    std::string writeAction;
};

} // namespace tarvesk::core
