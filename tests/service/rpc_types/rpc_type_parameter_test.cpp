#include "core/parameters/parameter.h"
#include "log_capture.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_json_writer.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tarvesk;
using core::Parameter;
using service::RpcTypeParameter;

namespace {

QJsonObject json(Parameter& parameter)
{
    // The object as it leaves in a reply.
    return service::RpcValue(new RpcTypeParameter(&parameter)).toJsonValue().toObject();
}

const QStringList kAlways = {"access_level", "address", "display_name", "enabled", "group", "hide",
    "parameter_type", "pid", "readonly", "tags"};

TEST(RpcTypeParameter, KeysByTheKindOfTheHeldValue)
{
    const QStringList numberKeys = kAlways
        + QStringList {"max_value", "min_value", "raw_value", "scale", "step_size", "unit", "value"};
    const struct
    {
        const char* name;
        core::NetworkResolution resolution;
        core::ParamType type;
        QVariant value;
        QStringList keys;
        QJsonValue shown;
        const char* hex; // null: no "hex_value"
    } cases[] = {
        {"bool", core::ITF_RES_BYTE, core::PARAM_TYPE_BOOLEAN, true, kAlways + QStringList {"value"}, true,
            nullptr},
        {"byte 255", core::ITF_RES_BYTE, core::PARAM_TYPE_NUMBER, 255u,
            numberKeys + QStringList {"hex_value"}, 255, "ff"},
        {"word 10", core::ITF_RES_WORD, core::PARAM_TYPE_NUMBER, 10, numberKeys + QStringList {"hex_value"},
            10, "000a"},
        {"long 4096", core::ITF_RES_LONG, core::PARAM_TYPE_NUMBER, 4096,
            numberKeys + QStringList {"hex_value"}, 4096, "00001000"},
        {"negative", core::ITF_RES_BYTE, core::PARAM_TYPE_NUMBER, -1, numberKeys + QStringList {"hex_value"},
            -1, "ffffffffffffffff"},
        {"double", core::ITF_RES_WORD, core::PARAM_TYPE_NUMBER, 1.5, numberKeys, 1.5, nullptr},
        {"enum", core::ITF_RES_BYTE, core::PARAM_TYPE_ENUM, "b",
            kAlways + QStringList {"enum_options", "value"}, "b", nullptr},
        {"string", core::ITF_RES_BYTE, core::PARAM_TYPE_STRING, "t",
            kAlways + QStringList {"max_value", "min_value", "value"}, "t", nullptr},
        {"never set", core::ITF_RES_BYTE, core::PARAM_TYPE_NUMBER, QVariant(), kAlways,
            QJsonValue(QJsonValue::Undefined), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogCapture log;
        Parameter parameter(QStringLiteral("p"), c.resolution, Parameter::PARAM_READ_WRITE);
        parameter.setParameterType(c.type);
        parameter.setEnumOptions({"a", "b"});
        parameter.setActualValue(c.value);
        const QJsonObject object = json(parameter);
        QStringList keys = object.keys();
        QStringList expected = c.keys;
        keys.sort();
        expected.sort();
        EXPECT_EQ(keys, expected);
        EXPECT_EQ(object.value("value"), c.shown);
        if (c.hex) {
            EXPECT_EQ(object.value("hex_value").toString(), c.hex);
        }
        EXPECT_EQ(
            log.hasWarningContaining("Variant type detected which can't be converted"), !c.value.isValid());
    }
}

TEST(RpcTypeParameter, ScaleTagsAndDescription)
{
    Parameter parameter(QStringLiteral("p"), core::ITF_RES_WORD, Parameter::PARAM_READ_WRITE);
    parameter.setScale(0.1);
    parameter.setActualValue(125);
    parameter.setTags({"x", "y"});
    QJsonObject object = json(parameter);
    EXPECT_EQ(object.value("raw_value").toDouble(), 125);
    EXPECT_DOUBLE_EQ(object.value("value").toDouble(), 12.5);
    EXPECT_EQ(object.value("tags").toArray(), QJsonArray({"x", "y"}));
    EXPECT_FALSE(object.contains("description"));
    parameter.setDescription("d");
    EXPECT_EQ(json(parameter).value("description").toString(), "d");
}

// A memory-bank field shows its whole width in "hex_value", and 64-bit values
// reach the reply's text with every digit.
TEST(RpcTypeParameter, MemoryBankFieldsShowTheirWholeWidthAndExactDigits)
{
    const struct
    {
        const char* name;
        unsigned length; // bytes of the field; 0: not a memory-bank parameter
        QVariant value;
        const char* hex;
        const char* rawText; // "raw_value" as the reply writes it
    } cases[] = {
        {"identification number 2^64 - 2", 8, QVariant(18446744073709551614ull), "fffffffffffffffe",
            "18446744073709551614"},
        {"2^53 + 1", 8, QVariant(9007199254740993ull), "0020000000000001", "9007199254740993"},
        {"6-byte energy", 6, QVariant(qlonglong(0xFFFFFFFEll)), "0000fffffffe", "4294967294"},
        {"3-byte counter", 3, QVariant(42), "00002a", "42"},
        {"byte", 1, QVariant(254), "fe", "254"},
        {"not a field, 64-bit", 0, QVariant(qlonglong(0x1234567890ll)), "34567890", "78187493520"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        core::ParameterData field;
        field.identifier = "p";
        field.daliMemoryBankData = c.length == 0 ? 0u : 0x01u | 1u << 8 | 9u << 16 | c.length << 24;
        field.minValue = 0ull;
        field.maxValue = 18446744073709551615ull;
        Parameter parameter(field);
        parameter.setNetworkResolution(core::ITF_RES_LONG);
        parameter.setActualValue(c.value);
        const service::RpcTypeParameter object(&parameter);
        EXPECT_EQ(object.child("hex_value")->getStringValue(), c.hex);
        service::RpcJsonWriter writer(QJsonDocument::Compact);
        writer.value(object.child("raw_value"));
        EXPECT_EQ(writer.take(), QByteArray(c.rawText));
        writer.value(object.child("value"));
        EXPECT_EQ(writer.take(), QByteArray(c.rawText));
    }
}

} // namespace
