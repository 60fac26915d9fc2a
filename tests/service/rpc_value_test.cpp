#include "log_capture.h"
#include "qt_printers.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarvesk::service;

namespace {

RpcValue* valueFromJson(const char* json)
{
    return new RpcValue(QJsonDocument::fromJson(QByteArray("[") + json + "]").array().at(0));
}

// ---- in-place conversions of client texts ----

struct TypeCase
{
    const char* text;     // a string value as the client sent it
    const char* typeName; // the parameter's short type name
    bool accepted;
    int afterType; // the value's type afterwards
    double number; // the number afterwards, when it became one
    bool boolean;  // the bool afterwards, when it became one
    const char* storedText;
};

class TypeConversion : public ::testing::TestWithParam<TypeCase>
{
};

TEST_P(TypeConversion, ConvertsOnlyWhatReadsAsTheType)
{
    const TypeCase& c = GetParam();
    RpcValue value(QString::fromUtf8(c.text));
    EXPECT_EQ(value.isType(QString::fromLatin1(c.typeName)), c.accepted);
    EXPECT_EQ(value.getType(), c.afterType);
    if (c.afterType == RpcValue::RPC_VALUE_DOUBLE) {
        EXPECT_EQ(value.getDoubleValue(), c.number);
    }
    if (c.afterType == RpcValue::RPC_VALUE_BOOL) {
        EXPECT_EQ(value.getBoolValue(), c.boolean);
    }
    EXPECT_EQ(value.getStringValue(), QString::fromUtf8(c.storedText));
}

const double kNo = 0;
INSTANTIATE_TEST_SUITE_P(RpcValue, TypeConversion,
    ::testing::Values(
        // Decimal texts are read only up to five characters.
        TypeCase {"12345", "number", true, RpcValue::RPC_VALUE_DOUBLE, 12345, false, "12345"},
        TypeCase {"-1.5", "number", true, RpcValue::RPC_VALUE_DOUBLE, -1.5, false, "-1.5"},
        TypeCase {"123456", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "123456"},
        TypeCase {"12.345", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "12.345"},
        // Hex texts: every "0x" goes, the rest is base 16.
        TypeCase {"0x1F", "number", true, RpcValue::RPC_VALUE_DOUBLE, 31, false, "1F"},
        TypeCase {"ab0xcd", "number", true, RpcValue::RPC_VALUE_DOUBLE, 0xABCD, false, "abcd"},
        // A failed conversion leaves the client's text as it was.
        TypeCase {"0xZZ", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "0xZZ"},
        TypeCase {"0x", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "0x"},
        // Texts that read as non-finite numbers are no numbers.
        TypeCase {"inf", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "inf"},
        TypeCase {"-inf", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "-inf"},
        TypeCase {"nan", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "nan"},
        TypeCase {"9e999", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false, "9e999"},
        TypeCase {"YES", "bool", true, RpcValue::RPC_VALUE_BOOL, kNo, true, "YES"},
        TypeCase {"True", "bool", true, RpcValue::RPC_VALUE_BOOL, kNo, true, "True"},
        TypeCase {"1", "bool", true, RpcValue::RPC_VALUE_BOOL, kNo, true, "1"},
        TypeCase {"No", "bool", true, RpcValue::RPC_VALUE_BOOL, kNo, false, "No"},
        TypeCase {"FALSE", "bool", true, RpcValue::RPC_VALUE_BOOL, kNo, false, "FALSE"},
        TypeCase {"0", "bool", true, RpcValue::RPC_VALUE_BOOL, kNo, false, "0"},
        TypeCase {"2", "bool", false, RpcValue::RPC_VALUE_STRING, kNo, false, "2"},
        TypeCase {"{\"a\":1}", "object", true, RpcValue::RPC_VALUE_STRING, kNo, false, "{\"a\":1}"},
        TypeCase {"x", "enum", true, RpcValue::RPC_VALUE_STRING, kNo, false, "x"},
        TypeCase {"x", "integer", false, RpcValue::RPC_VALUE_STRING, kNo, false, "x"},
        // Whole numbers beyond 2^53 come as text, of any length, kept exactly (below).
        TypeCase {"18446744073709551614", "number", true, RpcValue::RPC_VALUE_DOUBLE, 18446744073709551614.0,
            false, "18446744073709551614"},
        TypeCase {"0xFFFFFFFFFFFFFFFE", "number", true, RpcValue::RPC_VALUE_DOUBLE, 18446744073709551614.0,
            false, "FFFFFFFFFFFFFFFE"},
        TypeCase {"9007199254740992", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false,
            "9007199254740992"}, // 2^53: a double holds it, the five-character rule stands
        TypeCase {"18446744073709551616", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false,
            "18446744073709551616"}, // 2^64
        TypeCase {"9007199254740993.5", "number", false, RpcValue::RPC_VALUE_STRING, kNo, false,
            "9007199254740993.5"}));

TEST(RpcValue, WholeNumbersBeyondDoublesStayExact)
{
    const struct
    {
        RpcValue* value;
        const char* digits;
    } cases[] = {
        {new RpcValue(QStringLiteral("18446744073709551614")), "18446744073709551614"},
        {new RpcValue(QStringLiteral("0xFFFFFFFFFFFFFFFE")), "18446744073709551614"},
        {new RpcValue(QStringLiteral("0x20000000000001")), "9007199254740993"},
        {new RpcValue(QStringLiteral("-9223372036854775807")), "-9223372036854775807"},
        {new RpcValue(QVariant(qulonglong(18446744073709551614ull))), "18446744073709551614"},
        {new RpcValue(QVariant(qlonglong(-9007199254740993))), "-9007199254740993"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<RpcValue> value(c.value);
        ASSERT_TRUE(value->isType("number")) << c.digits;
        EXPECT_EQ(value->exactIntegerText(), QString::fromLatin1(c.digits));
        EXPECT_EQ(value->getVariantValue().toString(), QString::fromLatin1(c.digits));
        std::unique_ptr<RpcValue> copy(value->clone());
        EXPECT_EQ(copy->exactIntegerText(), QString::fromLatin1(c.digits));
        value->fromDouble(1.0); // a new value forgets the old number
        EXPECT_FALSE(value->hasExactInteger());
    }
    // Numbers a double holds stay as they were.
    RpcValue small(QStringLiteral("0x1F"));
    ASSERT_TRUE(small.isType("number"));
    EXPECT_FALSE(small.hasExactInteger());
    EXPECT_EQ(small.getVariantValue(), QVariant(31.0));
}

TEST(RpcValue, NonStringValuesKeepTheirTypeUnderTheTests)
{
    std::unique_ptr<RpcValue> one(valueFromJson("1"));
    EXPECT_FALSE(one->isType("bool")); // the number 1 is not a boolean
    EXPECT_TRUE(one->isType("number"));
    std::unique_ptr<RpcValue> object(valueFromJson("{\"a\":1}"));
    EXPECT_FALSE(object->isType("object")); // objects come as JSON text
    EXPECT_FALSE(object->isStringValue());
    EXPECT_TRUE(object->isObjectValue());
}

// ---- numbers to int ----

TEST(RpcValue, ToIntegerTruncatesOnlyWhatFitsAnInt)
{
    const double maxInt = std::numeric_limits<int>::max();
    const double minInt = std::numeric_limits<int>::min();
    struct Case
    {
        RpcValue* value;
        bool ok;
        int result;
    } cases[] = {
        {new RpcValue(3.9), true, 3},
        {new RpcValue(-3.9), true, -3},
        {new RpcValue("12"), true, 12},
        {new RpcValue("0x7F"), true, 127},
        {new RpcValue(maxInt), true, std::numeric_limits<int>::max()},
        {new RpcValue(minInt), true, std::numeric_limits<int>::min()},
        {new RpcValue(maxInt + 1), false, 0},
        {new RpcValue(minInt - 1), false, 0},
        {new RpcValue(3e9), false, 0},
        {new RpcValue("0xFFFFFFFFFF"), false, 0},
        {new RpcValue(std::nan("")), false, 0},
        {new RpcValue(std::numeric_limits<double>::infinity()), false, 0},
        {new RpcValue("nan"), false, 0},
        {new RpcValue(true), false, 0},
        {new RpcValue(), false, 0},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(c.value->toInteger(&ok), c.result) << c.value->getDoubleValue();
        EXPECT_EQ(ok, c.ok) << c.value->getDoubleValue();
        delete c.value;
    }
}

TEST(RpcValue, GetIntegerValueRefusesNumbersNoIntCanHold)
{
    EXPECT_EQ(RpcValue(-7.8).getIntegerValue(), -7);
    EXPECT_EQ(RpcValue("text").getIntegerValue(), 0);
    for (double bad : {1e10, -1e10, std::nan(""), std::numeric_limits<double>::infinity()}) {
        try {
            RpcValue(bad).getIntegerValue();
            ADD_FAILURE() << bad << " was cast";
        } catch (const JsonRpcException& e) {
            EXPECT_EQ(e.code(), -32602);
        }
    }
}

// ---- byte arrays ----

QByteArray bytesOf(const char* json)
{
    std::unique_ptr<RpcValue> value(valueFromJson(json));
    return value->getArrayValue()->getByteArray();
}

TEST(RpcArray, ByteArrayTakesIntegersInByteRange)
{
    EXPECT_EQ(bytesOf("[0, 1, 255, \"0x10\", \"7\", 12.0]"), QByteArray::fromHex("0001ff10070c"));
    EXPECT_EQ(bytesOf("[]"), QByteArray());
}

TEST(RpcArray, ByteArrayRefusesWhatIsNoByteInsteadOfCuttingOrSkipping)
{
    const struct
    {
        const char* json;
        const char* messageStart;
    } cases[] = {
        {"[1, 256]", "Byte 1 of the array has the value 256, outside 0..255"},
        {"[-1]", "Byte 0 of the array has the value -1, outside 0..255"},
        {"[1, \"x\"]", "Byte 1 of the array is not an integer"},
        {"[1.5]", "Byte 0 of the array is not an integer"},
        {"[null]", "Byte 0 of the array is not an integer"},
        {"[[1]]", "Byte 0 of the array is not an integer"},
        {"[1e300]", "Byte 0 of the array is not an integer"},
    };
    for (const auto& c : cases) {
        try {
            bytesOf(c.json);
            ADD_FAILURE() << c.json << " was accepted";
        } catch (const JsonRpcException& e) {
            EXPECT_EQ(e.code(), -32602) << c.json;
            EXPECT_TRUE(e.message().startsWith(QLatin1String(c.messageStart))) << e.message().toStdString();
        }
    }
}

// ---- output ----

TEST(RpcValue, NumbersAreWrittenRoundedToThreeDecimals)
{
    const struct
    {
        double in;
        double out;
    } cases[] = {
        {2.0004, 2.0},
        {2.0005, 2.001},
        {1.0005, 1.001},
        {-1.0005, -1.0},
        {0.1234, 0.123},
        {-0.0004, 0.0},
        {123456789012345.0, 123456789012345.0}, // integers pass unchanged
        {9007199254740993.0, 9007199254740993.0},
        {1e300, 1e300}, // too large to scale: must not turn into null
        {-1.7e308, -1.7e308},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RpcValue(c.in).toJsonValue(), QJsonValue(c.out)) << c.in;
}

TEST(RpcValue, JsonRoundTripKeepsStructureAndTypes)
{
    const QByteArray json = R"({"a":[1,"two",true,null,{"b":1.5}],"c":{},"d":"Grüße €😀","e":false})";
    const QJsonObject original = QJsonDocument::fromJson(json).object();
    RpcValue value(original);
    EXPECT_EQ(value.toJsonValue(), QJsonValue(original));

    RpcValue fromText;
    EXPECT_TRUE(fromText.fromJson(QString::fromUtf8(json)));
    EXPECT_EQ(fromText.getObjectValue()->child("d")->getStringValue(), QString::fromUtf8("Grüße €😀"));
    EXPECT_EQ(value.getMemorySize(), 8u + 8u + (8u + 8u + 5 * 8u + 8u + 8u) + (8u + 8u) + 8u + 8u);

    RpcValue untouched("keep");
    EXPECT_FALSE(untouched.fromJson("{"));
    EXPECT_EQ(untouched.getStringValue(), QString("keep"));
}

TEST(RpcValue, ObjectsAreWrittenInKeyOrderAndReplaceKeys)
{
    auto* object = new RpcObject;
    object->addChild("zeta", new RpcValue(1));
    object->addChild("alpha", new RpcValue(2));
    object->addChild("Mid", new RpcValue(3));
    object->addChild("alpha", new RpcValue(4)); // the first "alpha" is deleted (ASan would see a leak)
    RpcValue* same = object->child("zeta");
    object->addChild("zeta", same); // re-adding the held value must not free it
    object->removeChild("missing");
    RpcValue value(object);

    EXPECT_EQ(object->childCount(), 3);
    EXPECT_EQ(QJsonDocument(value.toJsonValue().toObject()).toJson(QJsonDocument::Compact),
        QByteArray(R"({"Mid":3,"alpha":4,"zeta":1})"));
    QStringList keys;
    for (auto it = object->begin(); it != object->end(); ++it)
        keys << it.key();
    EXPECT_EQ(keys, QStringList({"Mid", "alpha", "zeta"}));
}

TEST(RpcValue, CloneIsDeepAndNotADefault)
{
    std::unique_ptr<RpcValue> original(valueFromJson(R"({"list":[1,2],"name":"x"})"));
    original->setDefaultValue(true);
    std::unique_ptr<RpcValue> copy(original->clone());
    copy->getObjectValue()->child("list")->getArrayValue()->addChild(new RpcValue(3));
    copy->getObjectValue()->child("name")->fromString("y");

    EXPECT_FALSE(copy->getDefaultValue());
    EXPECT_EQ(original->getObjectValue()->child("list")->getArrayValue()->childCount(), 2);
    EXPECT_EQ(original->getObjectValue()->child("name")->getStringValue(), QString("x"));
}

TEST(RpcArray, ChildOutsideTheArrayIsNull)
{
    RpcArray array;
    array.addChild(new RpcValue(1));
    array.addChild(static_cast<RpcValue*>(nullptr)); // stored as JSON null, never a dangling slot
    EXPECT_EQ(array.child(-1), nullptr);
    EXPECT_EQ(array.child(array.childCount()), nullptr);
    ASSERT_NE(array.child(1), nullptr);
    EXPECT_TRUE(array.child(1)->isNullValue());
}

// ---- variants ----

TEST(RpcValue, FromVariantTakesOnlyTheSimpleTypes)
{
    tarvesk::test::LogCapture log;
    const struct
    {
        QVariant in;
        QJsonValue out;
        int type;
    } cases[] = {
        {QVariant(), QJsonValue(QJsonValue::Null), RpcValue::RPC_VALUE_UNDEFINED},
        {QVariant(true), QJsonValue(true), RpcValue::RPC_VALUE_BOOL},
        {QVariant(-5), QJsonValue(-5), RpcValue::RPC_VALUE_DOUBLE},
        {QVariant(7u), QJsonValue(7), RpcValue::RPC_VALUE_DOUBLE},
        {QVariant(0.25), QJsonValue(0.25), RpcValue::RPC_VALUE_DOUBLE},
        {QVariant(QString("all")), QJsonValue("all"), RpcValue::RPC_VALUE_STRING},
        {QVariant(qlonglong(5)), QJsonValue(5),
            RpcValue::RPC_VALUE_DOUBLE}, // memory-bank readings are 64-bit
        {QVariant(QStringList {"a"}), QJsonValue(QJsonValue::Null), RpcValue::RPC_VALUE_UNDEFINED},
    };
    for (const auto& c : cases) {
        RpcValue value(c.in);
        EXPECT_EQ(value.getType(), c.type) << c.in.typeName();
        EXPECT_EQ(value.toJsonValue(), c.out) << c.in.typeName();
        EXPECT_FALSE(value.getDefaultValue());
    }
    EXPECT_EQ(log.count("Trying to convert unknown QVariant type 'qlonglong' to RpcValue"), 0);
    EXPECT_EQ(log.count("Trying to convert unknown QVariant type 'QStringList' to RpcValue"), 1);
}

TEST(RpcValue, VariantValueOfEachType)
{
    std::unique_ptr<RpcValue> object(valueFromJson(R"({"a":1})"));
    EXPECT_EQ(object->getVariantValue(), QVariant(QJsonValue(QJsonObject {{"a", 1}})));
    EXPECT_EQ(RpcValue(2.5).getVariantValue(), QVariant(2.5));
    EXPECT_EQ(RpcValue("t").getVariantValue(), QVariant(QString("t")));
    EXPECT_FALSE(RpcValue().getVariantValue().isValid());
    std::unique_ptr<RpcValue> null(valueFromJson("null"));
    EXPECT_FALSE(null->getVariantValue().isValid());
    EXPECT_EQ(null->getTypeString(), QString("null"));
}

} // namespace
