#include "core/parameters/param_unit.h"

#include "core/core_errors.h"

#include <map>

namespace tarvesk::core {

namespace {

struct UnitTexts
{
    const char* name;
    const char* abbreviation;
};

// Built once, on first use; ordered by value so that name look-ups walk it in
// key order. The Celsius abbreviation is an HTML entity name without its
// closing semicolon: clients receive it exactly like this.
const std::map<ParamUnit, UnitTexts>& unitTable()
{
    static const std::map<ParamUnit, UnitTexts> table = {
        {PARAM_UNIT_UNDEFINED, {"PARAM_UNIT_UNDEFINED", ""}},
        {PARAM_UNIT_VOLT, {"PARAM_UNIT_VOLT", "V"}},
        {PARAM_UNIT_AMPERE, {"PARAM_UNIT_AMPERE", "A"}},
        {PARAM_UNIT_MILLIVOLT, {"PARAM_UNIT_MILLIVOLT", "mV"}},
        {PARAM_UNIT_MILLIAMPERE, {"PARAM_UNIT_MILLIAMPERE", "mA"}},
        {PARAM_UNIT_TEMPERATURE_CELSIUS, {"PARAM_UNIT_TEMPERATURE_CELSIUS", "&degC"}},
        {PARAM_UNIT_WATT, {"PARAM_UNIT_WATT", "W"}},
        {PARAM_UNIT_PERCENTAGE, {"PARAM_UNIT_PERCENTAGE", "%"}},
        {PARAM_UNIT_HOURS, {"PARAM_UNIT_HOURS", "hours"}},
        {PARAM_UNIT_KELVIN, {"PARAM_UNIT_KELVIN", "K"}},
        {PARAM_UNIT_LUMEN, {"PARAM_UNIT_LUMEN", "lm"}},
        {PARAM_UNIT_MILLISECONDS, {"PARAM_UNIT_MILLISECONDS", "ms"}},
        {PARAM_UNIT_SECONDS, {"PARAM_UNIT_SECONDS", "s"}},
        {PARAM_UNIT_WATT_HOUR, {"PARAM_UNIT_WATT_HOUR", "Wh"}},
        {PARAM_UNIT_HERTZ, {"PARAM_UNIT_HERTZ", "Hz"}},
    };
    return table;
}

const UnitTexts& unitTexts(const ParamUnit& unit)
{
    const auto& table = unitTable();
    const auto it = table.find(unit);
    if (it == table.end())
        throw ParameterError("Invalid parameter unit enum: " + std::to_string(static_cast<int>(unit)));
    return it->second;
}

} // namespace

ParamUnit getParameterUnitFromString(const std::string& name)
{
    for (const auto& [unit, texts] : unitTable()) {
        if (name == texts.name)
            return unit;
    }
    throw ParameterError("Invalid parameter unit enum string: " + name);
}

std::string getStringFromParameterUnit(const ParamUnit& unit)
{
    return unitTexts(unit).name;
}

std::string getUnitAbbreviationStringForParameterUnit(const ParamUnit& unit)
{
    return unitTexts(unit).abbreviation;
}

} // namespace tarvesk::core
