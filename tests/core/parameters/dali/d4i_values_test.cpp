#include "core/core_errors.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/dali/memory_block_bool_converter.h"
#include "core/parameters/dali/memory_block_integer_converter.h"
#include "core/parameters/dali/memory_block_string_converter.h"
#include "core/parameters/parameter.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk::core;
using Bytes = std::vector<unsigned char>;

namespace {

// The whole catalogue, as a DALI device gets it.
const DaliMemoryBankParameterRepository& catalogue()
{
    static const auto repository = [] {
        auto r = std::make_shared<DaliMemoryBankParameterRepository>();
        loadDaliMemoryBanksForPart250(r);
        loadDaliMemoryBanksForPart251(r);
        loadDaliMemoryBanksForPart252(r);
        loadDaliMemoryBanksForPart253(r);
        return r;
    }();
    return *repository;
}

std::unique_ptr<IMemoryBlockConverter> converterFor(const ParameterData& data)
{
    if (data.type == PARAM_TYPE_STRING)
        return std::make_unique<MemoryBlockStringConverter>();
    if (data.type == PARAM_TYPE_BOOLEAN)
        return std::make_unique<MemoryBlockBoolConverter>();
    return std::make_unique<MemoryBlockIntegerConverter>();
}

unsigned lengthOf(const ParameterData& data)
{
    return data.daliMemoryBankData >> 24;
}

// What a client is shown, with its kind: a double rounded for reading, an
// exact whole number, a flag or a text.
std::string shown(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
        return value.toBool() ? "true" : "false";
    case QMetaType::Double:
        return "number " + QString::number(value.toDouble(), 'g', 15).toStdString();
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return "exactly " + value.toString().toStdString();
    case QMetaType::QString:
        return "\"" + value.toString().toStdString() + "\"";
    default:
        return std::string("kind ") + value.typeName();
    }
}

struct ReadCase
{
    const char* pid;
    Bytes bytes;
    const char* expected;
};

// Bytes as a gear holds them, through the record's converter into the
// parameter, and out as the parameter shows them.
TEST(D4iValues, BytesAreShownByTheRecordsRules)
{
    const ReadCase cases[] = {
        // Reserved codes at the field's full width: only the top two values of the field.
        {"dali_252_active_energy", {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFE}, "number 4294967294"},
        {"dali_252_active_energy", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, "\"Unavailable\""},
        {"dali_252_active_energy", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "\"Value not allowed\""},
        {"dali_252_active_energy", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD}, "number 281474976710653"},
        {"dali_252_load_side_power", {0xFF, 0xFF, 0xFF, 0xFF}, "\"Value not allowed\""},
        {"dali_252_apparent_power", {0xFF, 0xFF, 0xFF, 0xFD}, "number 4294967293"},
        {"dali_253_light_source_on_time", {0xFF, 0xFF, 0xFF, 0xFE}, "\"Unavailable\""},
        {"dali_253_control_gear_operating_time", {0x00, 0x00, 0xFF, 0xFE}, "number 65534"},
        {"dali_253_light_source_start_counter", {0xFF, 0xFF, 0xFF}, "\"Value not allowed\""},
        {"dali_253_light_source_start_counter", {0xFF, 0xFF, 0xFD}, "number 16777213"},
        // Scale factors are signed powers of ten.
        {"dali_252_active_energy_scale_factor", {0xFD}, "number -3"},
        {"dali_252_apparent_power_scale_factor", {0x06}, "number 6"},
        {"dali_252_load_side_energy_scale_factor", {0xFA}, "number -6"},
        // Failure flags: 0 and 1, or a reserved code.
        {"dali_253_control_gear_failure_condition", {0x00}, "false"},
        {"dali_253_control_gear_failure_condition", {0x01}, "true"},
        {"dali_253_control_gear_failure_condition", {0xFE}, "\"Unavailable\""},
        {"dali_253_control_gear_failure_condition", {0xFF}, "\"Value not allowed\""},
        {"dali_253_light_source_short_circuit", {0xFF}, "\"Unsupported\""},
        {"dali_250_dali_bus_power_supply_status", {0x02}, "true"}, // no texts: any other byte is set
        // Offsets and scales.
        {"dali_253_light_source_temperature", {85}, "number 25"},
        {"dali_253_light_source_temperature", {0}, "number -60"},
        {"dali_253_light_source_temperature", {255}, "\"Unsupported\""},
        {"dali_253_control_gear_temperature", {254}, "\"Unavailable\""},
        {"dali_253_light_source_voltage", {0x08, 0xFC}, "number 230"},
        {"dali_253_light_source_voltage", {0xFF, 0xFE}, "\"Unavailable\""},
        {"dali_253_control_gear_external_supply_voltage", {0xFF, 0xFF}, "\"Unsupported\""},
        {"dali_253_control_gear_power_factor", {95}, "number 0.95"},
        // Bank 207 keeps its raw values.
        {"dali_253_rated_median_light_source_restarts", {0x01, 0x2C}, "number 300"},
        // Luminaire data: whole numbers beyond 2^53 stay exact; texts end at their NUL.
        {"dali_251_luminaire_identification_number", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE},
            "exactly 18446744073709551614"},
        {"dali_251_luminaire_identification_number", {0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
            "exactly 9007199254740993"}, // 2^53 + 1
        {"dali_251_luminaire_manufacturer_gtin", {0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, "number 256"},
        {"dali_251_luminaire_year_of_manufacture", {0xFF}, "number 255"},
        {"dali_251_luminaire_colour", {'A', 'B', 0x00}, "\"AB\""},
        {"dali_251_luminaire_identification", {0x07, 0x00}, "\"<N/A>\""},
    };
    for (const ReadCase& c : cases) {
        const ParameterData data = catalogue().getParameterData(c.pid);
        Parameter parameter(data);
        parameter.setValue(converterFor(data)->convert(c.bytes, lengthOf(data)), IParameter::UPDATE_NO);
        EXPECT_EQ(shown(parameter.getScaledValue()), c.expected) << c.pid;
    }
}

struct WriteCase
{
    const char* pid;
    QVariant value;
    Bytes expected;
};

// A client's value through the parameter's limits into the bytes written.
TEST(D4iValues, ValuesBecomeTheBytesWritten)
{
    const Bytes id(8, 0xFF);
    Bytes idLessTwo = id;
    idLessTwo.back() = 0xFE;
    const WriteCase cases[] = {
        {"dali_251_luminaire_identification_number", QStringLiteral("18446744073709551614"), idLessTwo},
        {"dali_251_luminaire_identification_number", QStringLiteral("0xFFFFFFFFFFFFFFFE"), idLessTwo},
        {"dali_251_luminaire_identification_number", QVariant(qulonglong(18446744073709551614ull)),
            idLessTwo},
        {"dali_251_luminaire_identification_number", QStringLiteral("0x20000000000001"),
            {0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}},
        {"dali_251_luminaire_identification_number", QStringLiteral("18446744073709551615"), id},
        {"dali_251_luminaire_manufacturer_gtin", QVariant(281474976710655.0), Bytes(6, 0xFF)},
        {"dali_251_luminaire_manufacturer_gtin", QVariant(1e20), Bytes(6, 0xFF)}, // held at the maximum
        {"dali_251_luminaire_manufacturer_gtin", QStringLiteral("0x0A0B0C0D0E0F"),
            {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}},
        {"dali_251_cct", QVariant(2700.0), {0x0A, 0x8C}},
        {"dali_253_rated_median_light_source_restarts", QVariant(300), {0x01, 0x2C}},
        {"dali_253_light_source_start_counter_resettable", QVariant(0), {0x00, 0x00, 0x00}},
        {"dali_253_light_source_on_time_resettable", QVariant(0.0), {0x00, 0x00, 0x00, 0x00}},
        {"dali_251_luminaire_colour", QStringLiteral("AB"),
            {'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const WriteCase& c : cases) {
        const ParameterData data = catalogue().getParameterData(c.pid);
        Parameter parameter(data);
        ASSERT_EQ(parameter.setScaledValue(c.value, IParameter::UPDATE_NO), 0) << c.pid;
        EXPECT_EQ(converterFor(data)->convert(parameter.getActualValue(), lengthOf(data)), c.expected)
            << c.pid << " " << c.value.toString().toStdString();
    }

    // What is no number of the field is refused before anything is written.
    Parameter id64(catalogue().getParameterData("dali_251_luminaire_identification_number"));
    EXPECT_THROW(
        id64.setScaledValue(QStringLiteral("0x1FFFFFFFFFFFFFFFF"), IParameter::UPDATE_NO), ParameterError);
    EXPECT_THROW(id64.setScaledValue(QStringLiteral("twelve"), IParameter::UPDATE_NO), ParameterError);
}

} // namespace
