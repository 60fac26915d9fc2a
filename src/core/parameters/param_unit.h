#pragma once

#include <QMetaType>

#include <string>

namespace tarvesk::core {

// The engineering unit of a parameter's scaled value.
enum ParamUnit : int {
    PARAM_UNIT_UNDEFINED = 0,
    PARAM_UNIT_VOLT = 1,
    PARAM_UNIT_AMPERE = 2,
    PARAM_UNIT_MILLIVOLT = 3,
    PARAM_UNIT_MILLIAMPERE = 4,
    PARAM_UNIT_TEMPERATURE_CELSIUS = 5,
    PARAM_UNIT_WATT = 6,
    PARAM_UNIT_PERCENTAGE = 7,
    PARAM_UNIT_HOURS = 8,
    PARAM_UNIT_KELVIN = 9,
    PARAM_UNIT_LUMEN = 10,
    PARAM_UNIT_MILLISECONDS = 11,
    PARAM_UNIT_SECONDS = 12,
    PARAM_UNIT_WATT_HOUR = 13,
    PARAM_UNIT_HERTZ = 14
};

// Look-ups in the unit table. Each throws ParameterError for a name or value
// that the table does not hold.
ParamUnit getParameterUnitFromString(const std::string& name);
std::string getStringFromParameterUnit(const ParamUnit& unit);
std::string getUnitAbbreviationStringForParameterUnit(const ParamUnit& unit);

} // namespace tarvesk::core

Q_DECLARE_METATYPE(tarvesk::core::ParamUnit)
