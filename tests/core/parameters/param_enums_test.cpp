#include "core/parameters/param_type.h"
#include "core/parameters/param_unit.h"
#include "core/parameters/parameter.h"
#include "error_matchers.h"

#include <gtest/gtest.h>

using namespace tarvesk::core;

namespace {

struct UnitRow
{
    int value;
    const char* name;
    const char* abbreviation;
};

const UnitRow kUnits[] = {
    {0, "PARAM_UNIT_UNDEFINED", ""},
    {1, "PARAM_UNIT_VOLT", "V"},
    {2, "PARAM_UNIT_AMPERE", "A"},
    {3, "PARAM_UNIT_MILLIVOLT", "mV"},
    {4, "PARAM_UNIT_MILLIAMPERE", "mA"},
    {5, "PARAM_UNIT_TEMPERATURE_CELSIUS", "&degC"},
    {6, "PARAM_UNIT_WATT", "W"},
    {7, "PARAM_UNIT_PERCENTAGE", "%"},
    {8, "PARAM_UNIT_HOURS", "hours"},
    {9, "PARAM_UNIT_KELVIN", "K"},
    {10, "PARAM_UNIT_LUMEN", "lm"},
    {11, "PARAM_UNIT_MILLISECONDS", "ms"},
    {12, "PARAM_UNIT_SECONDS", "s"},
    {13, "PARAM_UNIT_WATT_HOUR", "Wh"},
    {14, "PARAM_UNIT_HERTZ", "Hz"},
};

} // namespace

TEST(ParamUnit, EveryUnitConvertsBothWays)
{
    for (const UnitRow& row : kUnits) {
        SCOPED_TRACE(row.name);
        const auto unit = static_cast<ParamUnit>(row.value);
        EXPECT_EQ(getParameterUnitFromString(row.name), unit);
        EXPECT_EQ(getStringFromParameterUnit(unit), row.name);
        EXPECT_EQ(getUnitAbbreviationStringForParameterUnit(unit), row.abbreviation);

        Parameter p;
        p.setParameterUnitEnum(QString::fromLatin1(row.name));
        EXPECT_EQ(p.getUnit(), unit);
        EXPECT_EQ(p.getParameterUnitShortString(), QString::fromLatin1(row.abbreviation));
    }
}

TEST(ParamUnit, UnknownNamesAndValuesThrow)
{
    expectParameterError([] { getParameterUnitFromString(""); }, "Invalid parameter unit enum string: ");
    expectParameterError([] { getParameterUnitFromString("param_unit_volt"); },
        "Invalid parameter unit enum string: param_unit_volt");
    expectParameterError([] { getParameterUnitFromString("PARAM_UNIT_VOLT "); },
        "Invalid parameter unit enum string: PARAM_UNIT_VOLT ");
    expectParameterError(
        [] { getStringFromParameterUnit(static_cast<ParamUnit>(15)); }, "Invalid parameter unit enum: 15");
    expectParameterError([] { getUnitAbbreviationStringForParameterUnit(static_cast<ParamUnit>(-1)); },
        "Invalid parameter unit enum: -1");

    Parameter p;
    p.setUnit(PARAM_UNIT_WATT);
    expectParameterError(
        [&] { p.setParameterUnitEnum(QStringLiteral("Watt")); }, "Invalid parameter unit enum string: Watt");
    EXPECT_EQ(p.getUnit(), PARAM_UNIT_WATT);
    p.setUnit(static_cast<ParamUnit>(15));
    expectParameterError([&] { p.getParameterUnitShortString(); }, "Invalid parameter unit enum: 15");
}

TEST(ParamType, TextsAndShortTexts)
{
    const std::pair<const char*, const char*> rows[] = {
        {"PARAM_TYPE_NUMBER", "number"},
        {"PARAM_TYPE_STRING", "string"},
        {"PARAM_TYPE_ENUM", "enum"},
        {"PARAM_TYPE_BOOLEAN", "bool"},
        {"PARAM_TYPE_OBJECT", "object"},
    };
    int expectedValue = 0;
    for (const auto& [text, shortText] : rows) {
        Parameter p;
        p.setParameterTypeEnum(QString::fromLatin1(text));
        EXPECT_EQ(p.getParameterType(), static_cast<ParamType>(expectedValue++));
        EXPECT_EQ(p.getParameterTypeShortString(), QString::fromLatin1(shortText));
    }
    EXPECT_EQ(paramTypeShortString(static_cast<ParamType>(5)), QStringLiteral("undefined"));
    EXPECT_EQ(paramTypeShortString(static_cast<ParamType>(-1)), QStringLiteral("undefined"));
}

TEST(ParamType, UnknownTextLeavesTypeUndefined)
{
    Parameter p;
    p.setParameterType(PARAM_TYPE_ENUM);
    expectParameterError([&] { p.setParameterTypeEnum(QStringLiteral("param_type_enum")); },
        "Parameter type \"param_type_enum\" undefined");
    EXPECT_EQ(static_cast<int>(p.getParameterType()), 5);
    EXPECT_EQ(p.getParameterTypeShortString(), QStringLiteral("undefined"));
}

TEST(Resolution, TextsConvertAndUnknownOnesThrow)
{
    Parameter p;
    for (const char* text : {"ITF_RES_WORD", "ITF_RES_LONG", "ITF_RES_BYTE"}) {
        p.setResolutionEnum(QString::fromLatin1(text));
        EXPECT_EQ(p.getResolutionEnum(), QString::fromLatin1(text));
    }
    p.setResolutionEnum(QStringLiteral("ITF_RES_WORD"));
    const QVariant maxBefore = p.getMaxValue();
    expectParameterError([&] { p.setResolutionEnum(QStringLiteral("itf_res_word")); },
        "Resolution \"itf_res_word\" undefined");
    EXPECT_EQ(p.getNetworkResolution(), ITF_RES_WORD);
    EXPECT_EQ(p.getMaxValue(), maxBefore) << "the maximum is not derived from the resolution text";

    p.setNetworkResolution(static_cast<NetworkResolution>(3));
    expectParameterError([&] { p.getResolutionEnum(); }, "Resolution \"3\" undefined");
    expectParameterError(
        [&] { p.setMaxValueForResolution(static_cast<NetworkResolution>(3)); }, "Resolution \"3\" undefined");
}

TEST(ParamUpdate, TextsConvert)
{
    Parameter p;
    EXPECT_EQ(p.getUpdateEnum(QStringLiteral("UPDATE_NO")), IParameter::UPDATE_NO);
    EXPECT_EQ(p.getUpdateEnum(QStringLiteral("UPDATE_YES")), IParameter::UPDATE_YES);
    EXPECT_EQ(p.getUpdateEnum(QStringLiteral("UPDATE_UNDEFINED")), IParameter::UPDATE_UNDEFINED);
    expectParameterError(
        [&] { p.getUpdateEnum(QStringLiteral("update_yes")); }, "Parameter update \"update_yes\" undefined");
}

TEST(ParamMeta, TypesAreRegisteredByName)
{
    Parameter::initMeta();
    EXPECT_NE(QMetaType::type("ParamType"), QMetaType::UnknownType);
    EXPECT_NE(QMetaType::type("Parameter *"), QMetaType::UnknownType);
    EXPECT_NE(QMetaType::type("tarvesk::core::IParameter::ParamUpdate"), QMetaType::UnknownType);
}
