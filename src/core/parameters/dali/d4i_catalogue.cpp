#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"

// The D4i catalogue: the memory-bank fields of IEC 62386 Parts 250 to 253 as
// parameter definitions. The product database and every DALI device run the
// four loaders, in the order 250, 251, 252, 253, on a fresh repository; the D4i
// features (loadFeaturesForD4i) name the pids of each bank.
//
// Two things differ from the published banks on purpose and stay so: bank 203
// shows W and Wh (the standard's VA and VAh), and bank 207 keeps its raw
// values, without the standard's factors and temperature offset. Those records
// are writable, and stored profiles hold their raw meaning.

namespace tarvesk::core {

namespace {

// One record being built; the fields not set here take the catalogue's common
// values (access level "user_basic", the single feature "D4i", step 1).
class Field
{
public:
    Field(const char* pid, const char* name, const char* group, std::uint8_t bank, std::uint8_t offset,
        std::uint8_t length, ParamType type, const char* converter)
        : _converter(converter)
        , _length(length)
    {
        _data.identifier = pid;
        _data.displayName = name;
        _data.type = type;
        _data.group = group;
        _data.accessLevel = "user_basic";
        _data.tags = {"D4i"};
        _data.daliMemoryBankData
            = 0x01u | std::uint32_t(bank) << 8 | std::uint32_t(offset) << 16 | std::uint32_t(length) << 24;
        _data.readAction = std::string("memory_bank_read_") + converter;
    }

    Field& unit(ParamUnit unit)
    {
        _data.unit = unit;
        return *this;
    }
    Field& limits(std::any minimum, std::any maximum, std::any defaultValue)
    {
        _data.minValue = std::move(minimum);
        _data.maxValue = std::move(maximum);
        _data.defaultValue = std::move(defaultValue);
        return *this;
    }
    Field& writable()
    {
        _data.writeAction = std::string("memory_bank_write_") + _converter;
        return *this;
    }
    // The texts of the field's two highest raw values, the reserved codes of
    // D4i data: "Unavailable" and `highest`. Their keys are the codes as the
    // tables give them: the value itself for fields of up to 3 bytes, its
    // signed 32-bit form (-2, -1) for wider ones. A parameter matches them at
    // the field's full width.
    Field& reservedCodes(const char* highest)
    {
        const bool narrow = _length <= 3;
        const std::int32_t top = narrow ? std::int32_t((1u << (8 * _length)) - 1) : -1;
        _data.specialValues = {{top - 1, "Unavailable"}, {top, highest}};
        return *this;
    }
    Field& scale(double scale)
    {
        _data.scale = scale;
        return *this;
    }
    Field& valueOffset(std::int32_t offset)
    {
        _data.offset = offset;
        return *this;
    }
    Field& description(const char* text)
    {
        _data.description = text;
        return *this;
    }

    const ParameterData& data() const { return _data; }

private:
    ParameterData _data;
    const char* _converter;
    std::uint8_t _length;
};

// The records of one memory bank, all in its group.
class Bank
{
public:
    Bank(const std::shared_ptr<IParameterRepository>& repository, std::uint8_t number, const char* group)
        : _repository(repository)
        , _number(number)
        , _group(group)
    { }

    Field number(const char* pid, const char* name, std::uint8_t offset, std::uint8_t length) const
    {
        return Field(pid, name, _group, _number, offset, length, PARAM_TYPE_NUMBER, "integer");
    }
    Field flag(const char* pid, const char* name, std::uint8_t offset) const
    {
        return Field(pid, name, _group, _number, offset, 1, PARAM_TYPE_BOOLEAN, "bool");
    }
    Field text(const char* pid, const char* name, std::uint8_t offset, std::uint8_t length) const
    {
        return Field(pid, name, _group, _number, offset, length, PARAM_TYPE_STRING, "string");
    }
    void add(const Field& field) const { _repository->addParameter(field.data()); }

private:
    const std::shared_ptr<IParameterRepository>& _repository;
    const std::uint8_t _number;
    const char* const _group;
};

// The three banks of IEC 62386-252 share one layout: a scale factor, a 6-byte
// energy, a scale factor and a 4-byte power. The scale factors are signed
// powers of ten (-6..6); their negative minimum makes the parameter show the
// byte as a signed number.
void loadEnergyBank(const std::shared_ptr<IParameterRepository>& repository, std::uint8_t number,
    const char* group, const char* prefix, const char* title)
{
    const Bank bank(repository, number, group);
    const std::string p = std::string("dali_252_") + prefix;
    const std::string lower = title;
    const std::string upper = std::string(1, char(lower[0] - 'a' + 'A')) + lower.substr(1);
    const std::string energyScale = p + "_energy_scale_factor", energy = p + "_energy";
    const std::string powerScale = p + "_power_scale_factor", power = p + "_power";
    const std::string energyScaleName = "Scale factor for " + lower + " energy";
    const std::string energyName = upper + " energy";
    const std::string powerScaleName = "Scale factor for " + lower + " power";
    const std::string powerName = upper + " power";
    bank.add(bank.number(energyScale.c_str(), energyScaleName.c_str(), 4, 1).limits(-6, 6, 255));
    bank.add(bank.number(energy.c_str(), energyName.c_str(), 5, 6)
                 .unit(PARAM_UNIT_WATT_HOUR)
                 .limits(0ull, 281474976710653ull, 0ull)
                 .reservedCodes("Value not allowed"));
    bank.add(bank.number(powerScale.c_str(), powerScaleName.c_str(), 11, 1).limits(-6, 6, 255));
    bank.add(bank.number(power.c_str(), powerName.c_str(), 12, 4)
                 .unit(PARAM_UNIT_WATT)
                 .limits(0ull, 4294967293ull, 0ull)
                 .reservedCodes("Value not allowed"));
}

// A diagnostic condition of banks 205 and 206: a flag byte (0 no, 1 yes)
// followed by the byte that counts its occurrences.
struct Condition
{
    const char* flagPid;
    const char* flagName;
    const char* flagHighestCode;
    const char* counterPid;
    const char* counterName;
};

template <std::size_t N>
void addConditions(const Bank& bank, const Condition (&conditions)[N], std::uint8_t firstOffset)
{
    std::uint8_t offset = firstOffset;
    for (const Condition& condition : conditions) {
        bank.add(bank.flag(condition.flagPid, condition.flagName, offset++)
                     .limits(0, 1, 0)
                     .reservedCodes(condition.flagHighestCode));
        bank.add(bank.number(condition.counterPid, condition.counterName, offset++, 1)
                     .limits(0, 253, 0)
                     .reservedCodes("Unsupported"));
    }
}

} // namespace

void loadDaliMemoryBanksForPart250(const std::shared_ptr<IParameterRepository>& repository)
{
    const Bank bank(repository, 201, "Integrated bus power supply");
    bank.add(bank.number("dali_250_guaranteed_supply_current", "Guaranteed Supply Current", 4, 1)
                 .unit(PARAM_UNIT_MILLIAMPERE)
                 .limits(0, 255, 255)
                 .description("The guaranteed supply current in mA."));
    bank.add(bank.number("dali_250_maximum_supply_current", "Maximum Supply Current", 5, 1)
                 .unit(PARAM_UNIT_MILLIAMPERE)
                 .limits(0, 255, 255)
                 .description("The maximum supply current in mA."));
    bank.add(bank.flag("dali_250_dali_bus_power_supply_status", "DALI bus power supply status", 6)
                 .limits(std::any(), std::any(), true)
                 .writable());
}

void loadDaliMemoryBanksForPart251(const std::shared_ptr<IParameterRepository>& repository)
{
    const Bank bank(repository, 1, "Luminaire configuration data");
    bank.add(bank.number("dali_251_luminaire_manufacturer_gtin", "Luminaire GTIN", 3, 6)
                 .limits(0ull, 281474976710655ull, 255)
                 .writable());
    bank.add(bank.number("dali_251_luminaire_identification_number", "Luminaire identification number", 9, 8)
                 .limits(0ull, 18446744073709551615ull, 18446744073709551615ull)
                 .writable());
    bank.add(bank.number("dali_251_content_format_id", "Content format id", 17, 2)
                 .limits(0, 65535, 65535)
                 .writable());
    bank.add(bank.number("dali_251_luminaire_year_of_manufacture", "Year of manufacture", 19, 1)
                 .limits(0, 255, 255)
                 .writable());
    bank.add(bank.number("dali_251_luminaire_week_of_manufacture", "Week of manufacture", 20, 1)
                 .limits(0, 255, 255)
                 .writable());
    bank.add(bank.number("dali_251_nominal_input_power", "Nominal input power", 21, 2)
                 .unit(PARAM_UNIT_WATT)
                 .limits(0, 65535, 65535)
                 .writable());
    bank.add(bank.number("dali_251_power_at_minimum_dim_level", "Power at minimum dim level", 23, 2)
                 .unit(PARAM_UNIT_WATT)
                 .limits(0, 65535, 65535)
                 .writable());
    bank.add(
        bank.number("dali_251_nominal_minimum_ac_mains_voltage", "Nominal minimum AC mains voltage", 25, 2)
            .unit(PARAM_UNIT_VOLT)
            .limits(0, 65535, 65535)
            .writable());
    bank.add(
        bank.number("dali_251_nominal_maximum_ac_mains_voltage", "Nominal maximum AC mains voltage", 27, 2)
            .unit(PARAM_UNIT_VOLT)
            .limits(0, 65535, 65535)
            .writable());
    bank.add(bank.number("dali_251_nominal_light_output", "Nominal light output", 29, 3)
                 .unit(PARAM_UNIT_LUMEN)
                 .limits(0, 16777215, 16777215)
                 .writable());
    bank.add(bank.number("dali_251_cri", "CRI", 32, 1).limits(0, 255, 255).writable());
    bank.add(
        bank.number("dali_251_cct", "CCT", 33, 2).unit(PARAM_UNIT_KELVIN).limits(0, 65535, 65535).writable());
    bank.add(bank.number("dali_251_light_distribution_type", "Light distribution type", 35, 1)
                 .limits(0, 255, 255)
                 .writable());
    bank.add(bank.text("dali_251_luminaire_colour", "Luminaire colour", 36, 24).limits(0, 24, "").writable());
    bank.add(bank.text("dali_251_luminaire_identification", "Luminaire identification", 60, 60)
                 .limits(0, 60, "")
                 .writable());
}

void loadDaliMemoryBanksForPart252(const std::shared_ptr<IParameterRepository>& repository)
{
    loadEnergyBank(repository, 202, "Active energy and power", "active", "active");
    loadEnergyBank(repository, 203, "Apparent energy and power", "apparent", "apparent");
    loadEnergyBank(repository, 204, "Load side energy and power", "load_side", "load-side");
}

void loadDaliMemoryBank205(const std::shared_ptr<IParameterRepository>& repository)
{
    const Bank bank(repository, 205, "Control gear diagnostics and maintenance");
    bank.add(bank.number("dali_253_control_gear_operating_time", "Control gear operating time", 4, 4)
                 .unit(PARAM_UNIT_SECONDS)
                 .limits(0, 4294967293u, 0)
                 .reservedCodes("Value not allowed"));
    bank.add(bank.number("dali_253_control_gear_start_counter", "Control gear start counter", 8, 3)
                 .limits(0, 16777213, 0)
                 .reservedCodes("Value not allowed"));
    bank.add(bank.number("dali_253_control_gear_external_supply_voltage",
                     "Control gear external supply voltage", 11, 2)
                 .unit(PARAM_UNIT_VOLT)
                 .limits(0, 65533, 0)
                 .reservedCodes("Unsupported")
                 .scale(0.1));
    bank.add(bank.number("dali_253_control_gear_external_supply_frequency",
                     "Control gear external supply frequency", 13, 1)
                 .unit(PARAM_UNIT_HERTZ)
                 .limits(0, 253, 0)
                 .reservedCodes("Unsupported"));
    bank.add(bank.number("dali_253_control_gear_power_factor", "Control gear power factor", 14, 1)
                 .limits(0, 100, 0)
                 .reservedCodes("Unsupported")
                 .scale(0.01));
    const Condition conditions[] = {
        {"dali_253_control_gear_failure_condition", "Control gear overall failure condition",
            "Value not allowed", "dali_253_control_gear_failure_condition_counter",
            "Control gear overall failure condition counter"},
        {"dali_253_control_gear_supply_undervoltage", "Control gear external supply undervoltage",
            "Unsupported", "dali_253_control_gear_supply_undervoltage_counter",
            "Control gear external supply undervoltage counter"},
        {"dali_253_control_gear_supply_overvoltage", "Control gear external supply overvoltage",
            "Unsupported", "dali_253_control_gear_supply_overvoltage_counter",
            "Control gear external supply overvoltage counter"},
        {"dali_253_control_gear_output_power_limitation", "Control gear output power limitation",
            "Unsupported", "dali_253_control_gear_output_power_limitation_counter",
            "Control gear output power limitation counter"},
        {"dali_253_control_gear_thermal_derating", "Control gear thermal derating", "Unsupported",
            "dali_253_control_gear_thermal_derating_counter", "Control gear thermal derating counter"},
        {"dali_253_control_gear_thermal_shutdown_condition", "Control gear thermal shutdown condition",
            "Unsupported", "dali_253_control_gear_thermal_shutdown_condition_counter",
            "Control gear thermal shutdown condition counter"},
    };
    addConditions(bank, conditions, 15);
    bank.add(bank.number("dali_253_control_gear_temperature", "Control gear temperature", 27, 1)
                 .unit(PARAM_UNIT_TEMPERATURE_CELSIUS)
                 .limits(0, 253, 0)
                 .reservedCodes("Value not allowed")
                 .valueOffset(60));
    bank.add(bank.number("dali_253_control_gear_output_current_percent",
                     "Control gear output current percent", 28, 1)
                 .unit(PARAM_UNIT_PERCENTAGE)
                 .limits(0, 100, 0)
                 .reservedCodes("Unsupported"));
}

void loadDaliMemoryBank206(const std::shared_ptr<IParameterRepository>& repository)
{
    const Bank bank(repository, 206, "Light source diagnostics and maintenance");
    bank.add(bank.number("dali_253_light_source_start_counter_resettable",
                     "Light source start counter resettable", 4, 3)
                 .limits(0, 16777213, 0)
                 .reservedCodes("Value not allowed")
                 .writable());
    bank.add(bank.number("dali_253_light_source_start_counter", "Light source start counter", 7, 3)
                 .limits(0, 16777213, 0)
                 .reservedCodes("Value not allowed"));
    bank.add(bank.number("dali_253_light_source_on_time_resettable", "Light source on time resettable", 10, 4)
                 .unit(PARAM_UNIT_SECONDS)
                 .limits(0, 4294967293u, 0)
                 .reservedCodes("Value not allowed")
                 .writable());
    bank.add(bank.number("dali_253_light_source_on_time", "Light source on time", 14, 4)
                 .unit(PARAM_UNIT_SECONDS)
                 .limits(0, 4294967295u, 0)
                 .reservedCodes("Value not allowed"));
    bank.add(bank.number("dali_253_light_source_voltage", "Light source voltage", 18, 2)
                 .unit(PARAM_UNIT_VOLT)
                 .limits(0, 65533, 0)
                 .reservedCodes("Value not allowed")
                 .scale(0.1));
    bank.add(bank.number("dali_253_light_source_current", "Light source current", 20, 2)
                 .unit(PARAM_UNIT_MILLIAMPERE)
                 .limits(0, 65533, 0)
                 .reservedCodes("Value not allowed"));
    const Condition conditions[] = {
        {"dali_253_light_source_overall_failure_condition", "Light source overall failure condition",
            "Value not allowed", "dali_253_light_source_overall_failure_condition_counter",
            "Light source overall failure condition counter"},
        {"dali_253_light_source_short_circuit", "Light source short circuit", "Unsupported",
            "dali_253_light_source_short_circuit_counter", "Light source short circuit counter"},
        {"dali_253_light_source_open_circuit", "Light source open circuit", "Unsupported",
            "dali_253_light_source_open_circuit_counter", "Light source open circuit counter"},
        {"dali_253_light_source_thermal_derating", "Light source thermal derating", "Unsupported",
            "dali_253_light_source_thermal_derating_counter", "Light source thermal derating counter"},
        {"dali_253_light_source_thermal_shutdown_condition", "Light source thermal shutdown", "Unsupported",
            "dali_253_light_source_thermal_shutdown_condition_counter",
            "Light source thermal shutdown counter"},
    };
    addConditions(bank, conditions, 22);
    bank.add(bank.number("dali_253_light_source_temperature", "Light source temperature", 32, 1)
                 .unit(PARAM_UNIT_TEMPERATURE_CELSIUS)
                 .limits(0, 253, 0)
                 .reservedCodes("Unsupported")
                 .valueOffset(60));
}

void loadDaliMemoryBanksForPart253(const std::shared_ptr<IParameterRepository>& repository)
{
    loadDaliMemoryBank205(repository);
    loadDaliMemoryBank206(repository);
    const Bank bank(repository, 207, "Luminaire maintenance data");
    bank.add(bank.number("dali_253_rated_median_luminaire_lifetime", "Rated median luminaire lifetime", 4, 1)
                 .limits(0, 255, 0)
                 .writable());
    bank.add(bank.number("dali_253_internal_control_gear_reference_temperature",
                     "Internal control gear reference temperature", 5, 1)
                 .unit(PARAM_UNIT_TEMPERATURE_CELSIUS)
                 .limits(0, 255, 0)
                 .writable());
    bank.add(
        bank.number("dali_253_rated_median_light_source_restarts", "Rated median light source restarts", 6, 2)
            .limits(0, 65535, 0)
            .writable());
}

} // namespace tarvesk::core
