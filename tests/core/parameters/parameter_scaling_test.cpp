#include "core/parameters/parameter.h"
#include "error_matchers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

using namespace tarvesk::core;

namespace {

struct ScalingCase
{
    const char* name;
    double scale;
    int offset;
    double rawStep; // step in raw units; the scale is set, so the scaled step is rawStep * scale
    std::optional<double> min;
    std::optional<double> max;
    NetworkResolution resolution;
    double input;
    double expectedRaw;    // worked out by hand from the decimal input
    double expectedScaled; // what reading it back gives
};

// Expectations are decimal arithmetic done by hand: quantise the input to the
// scaled step (half up), clamp to the limits, raw = q / scale + offset.
const ScalingCase kCases[] = {
    {"0.1 scale, step rounds down", 0.1, 0, 1, 0.0, 100.0, ITF_RES_WORD, 12.34, 123, 12.3},
    {"0.1 scale, clamped to max", 0.1, 0, 1, 0.0, 100.0, ITF_RES_WORD, 250, 1000, 100},
    {"0.1 scale, clamped to min", 0.1, 0, 1, 0.0, 100.0, ITF_RES_WORD, -5, 0, 0},
    {"0.1 scale, decimal half goes up", 0.1, 0, 1, {}, {}, ITF_RES_WORD, 1.05, 11, 1.1},
    {"0.1 scale, negative half goes up", 0.1, 0, 1, {}, {}, ITF_RES_WORD, -1.05, -10, -1.0},
    {"0.01 scale with offset 100", 0.01, 100, 1, {}, {}, ITF_RES_WORD, 3.456, 446, 3.46},
    {"0.1 scale with offset -50", 0.1, -50, 1, {}, {}, ITF_RES_WORD, 7.25, 23, 7.3},
    {"scale 1, step 5", 1, 0, 5, {}, {}, ITF_RES_WORD, 12.5, 15, 15},
    {"scale 1, offset 10, max only", 1, 10, 1, {}, 50.0, ITF_RES_WORD, -20, -10, -20},
    {"scale 1, max only, clamps high", 1, 0, 1, {}, 50.0, ITF_RES_WORD, 80, 50, 50},
    {"scale 1, min only, no upper clamp", 1, 0, 1, 0.0, {}, ITF_RES_LONG, 1000000, 1000000, 1000000},
    {"no limits at all", 1, 0, 1, {}, {}, ITF_RES_WORD, 1234, 1234, 1234},
    {"max between two raw values stays inside", 0.1, 0, 0, {}, 99.95, ITF_RES_WORD, 99.97, 999, 99.9},
    {"signed byte, scale 1", 1, 0, 1, -10.0, 100.0, ITF_RES_BYTE, -6, 250, -6},
    {"signed byte, scale 0.5, offset 2", 0.5, 2, 1, -20.0, 20.0, ITF_RES_BYTE, -3, 252, -3},
    {"signed byte, positive value", 1, 0, 1, -10.0, 100.0, ITF_RES_BYTE, 99, 99, 99},
    {"signed byte, clamped to min", 1, 0, 1, -10.0, 100.0, ITF_RES_BYTE, -50, 246, -10},
};

} // namespace

TEST(ParameterScaling, TableOfCases)
{
    for (const ScalingCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Parameter p(QStringLiteral("p"), c.resolution, Parameter::PARAM_READ_WRITE);
        p.setScale(c.scale);
        p.setOffset(c.offset);
        p.setStepSize(c.rawStep);
        p.setMinValue(c.min ? QVariant(*c.min) : QVariant());
        p.setMaxValue(c.max ? QVariant(*c.max) : QVariant());
        p.setAddress(0x20);

        ASSERT_EQ(p.setScaledValue(c.input, IParameter::UPDATE_NO), 0);
        const QVariant raw = p.getActualValue();
        EXPECT_EQ(raw.userType(), QMetaType::Int) << "memory values are stored as whole numbers";
        EXPECT_EQ(raw.toLongLong(), static_cast<long long>(c.expectedRaw));
        EXPECT_NEAR(p.getScaledValue().toDouble(), c.expectedScaled, 1e-9);
        EXPECT_TRUE(p.isValid());
    }
}

// Every raw value survives scaled read-then-write unchanged, for the scales
// and offsets that drivers use.
TEST(ParameterScaling, RawValuesSurviveARoundTrip)
{
    for (double scale : {1.0, 0.1, 0.01}) {
        for (int offset : {0, 100, -50}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << " offset " << offset);
            Parameter p;
            p.setScale(scale);
            p.setOffset(offset);
            for (int raw = -300; raw <= 3000; ++raw) {
                p.setActualValue(raw);
                const QVariant scaled = p.getScaledValue();
                ASSERT_EQ(p.setScaledValue(scaled, IParameter::UPDATE_NO), 0);
                ASSERT_EQ(p.getActualValue(), QVariant(raw)) << "scaled " << scaled.toDouble();
            }
        }
    }
}

TEST(ParameterScaling, FractionalStepWithoutMemoryKeepsFractions)
{
    Parameter p; // no address, no limits
    p.setStepSize(0.5);
    ASSERT_EQ(p.setScaledValue(0.25, IParameter::UPDATE_NO), 0);
    EXPECT_DOUBLE_EQ(p.getActualValue().toDouble(), 0.5);
    ASSERT_EQ(p.setScaledValue(-0.25, IParameter::UPDATE_NO), 0);
    EXPECT_DOUBLE_EQ(p.getActualValue().toDouble(), 0.0);
}

TEST(ParameterScaling, StepOfZeroOrLessSkipsQuantisation)
{
    for (double step : {0.0, -1.0, std::nan("")}) {
        SCOPED_TRACE(step);
        Parameter plain;
        plain.setStepSize(step);
        ASSERT_EQ(plain.setScaledValue(3.3, IParameter::UPDATE_NO), 0);
        EXPECT_DOUBLE_EQ(plain.getActualValue().toDouble(), 3.3);

        Parameter memory;
        memory.setAddress(4);
        memory.setStepSize(step);
        ASSERT_EQ(memory.setScaledValue(3.3, IParameter::UPDATE_NO), 0);
        EXPECT_EQ(memory.getActualValue(), QVariant(3));
    }
}

TEST(ParameterScaling, LimitNeverSetMeansNoLimit)
{
    Parameter p; // neither limit set
    ASSERT_EQ(p.setScaledValue(5000, IParameter::UPDATE_NO), 0);
    EXPECT_EQ(p.getActualValue(), QVariant(5000));
    ASSERT_EQ(p.setScaledValue(-7, IParameter::UPDATE_NO), 0);
    EXPECT_EQ(p.getActualValue(), QVariant(-7));
    EXPECT_TRUE(p.isValid());
}

TEST(ParameterScaling, ValidityComparesScaledValueWithLimits)
{
    Parameter p;
    p.setScale(0.1);
    p.setOffset(10);
    p.setMinValue(0);
    p.setMaxValue(QVariant(12.3));
    p.setActualValue(133); // (133 - 10) * 0.1 = 12.3
    EXPECT_TRUE(p.isValid());
    p.setActualValue(134);
    EXPECT_FALSE(p.isValid());
    p.setActualValue(9);
    EXPECT_FALSE(p.isValid());
    p.setActualValue(QStringLiteral("abc"));
    EXPECT_FALSE(p.isValid()) << "a number parameter holding text is not valid";
    p.setParameterType(PARAM_TYPE_STRING);
    EXPECT_TRUE(p.isValid());
}

TEST(ParameterScaling, SignedByteReadsAndWritesWithOffsetAndScale)
{
    Parameter p(QStringLiteral("trim"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    p.setMinValue(-10);
    p.setActualValue(250);
    EXPECT_TRUE(p.is8BitSignedTwosComplement());
    EXPECT_DOUBLE_EQ(p.getScaledValue().toDouble(), -6.0);
    p.setOffset(-2);
    p.setScale(0.5);
    EXPECT_DOUBLE_EQ(p.getScaledValue().toDouble(), -2.0); // (-6 + 2) * 0.5

    p.setMinValue(0);
    EXPECT_FALSE(p.is8BitSignedTwosComplement());
    EXPECT_DOUBLE_EQ(p.getScaledValue().toDouble(), 126.0); // (250 + 2) * 0.5

    EXPECT_EQ(Parameter::convert8BitValueToTwosComplement(0xFA), -6);
    EXPECT_EQ(Parameter::convert8BitValueToTwosComplement(0x17F), 127);
}

TEST(ParameterScaling, SpecialValueTextReplacesScaledValue)
{
    Parameter p;
    p.setScale(0.1);
    p.setSpecialValues({{255, "MASK"}, {0, "off"}});
    p.setActualValue(255);
    EXPECT_EQ(p.getScaledValue(), QVariant(QStringLiteral("MASK")));
    p.setActualValue(0);
    EXPECT_EQ(p.getScaledValue(), QVariant(QStringLiteral("off")));
    p.setActualValue(10);
    EXPECT_DOUBLE_EQ(p.getScaledValue().toDouble(), 1.0);
    p.setActualValue(255.5);
    EXPECT_DOUBLE_EQ(p.getScaledValue().toDouble(), 25.55) << "a fraction is not a special value";
}

TEST(ParameterScaling, OtherTypesPassThroughUnchanged)
{
    Parameter p;
    p.setParameterType(PARAM_TYPE_ENUM);
    p.setScale(0.1);
    ASSERT_EQ(p.setScaledValue(QStringLiteral("connected"), IParameter::UPDATE_NO), 0);
    EXPECT_EQ(p.getActualValue(), QVariant(QStringLiteral("connected")));
    EXPECT_EQ(p.getScaledValue(), QVariant(QStringLiteral("connected")));
}

TEST(ParameterScaling, ScaleParameterGivesPowerOfTen)
{
    Parameter exponent(QStringLiteral("exp"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    int reads = 0;
    exponent.registerGetCallback([&reads](Parameter* self) {
        ++reads;
        return self->setValue(254, IParameter::UPDATE_NO); // -2 as a signed byte
    });
    Parameter p;
    p.setScaleParameter(&exponent);
    EXPECT_DOUBLE_EQ(p.getScale(), 0.01);
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(p.isScaleSet());

    // Writing refreshes the scale first, so the step (1 raw unit) is 0.01.
    ASSERT_EQ(p.setScaledValue(12.345, IParameter::UPDATE_NO), 0);
    EXPECT_EQ(p.getActualValue(), QVariant(1235));

    exponent.registerGetCallback([](Parameter* self) { return self->setValue(3, IParameter::UPDATE_NO); });
    EXPECT_DOUBLE_EQ(p.getScale(), 1000.0);
    exponent.registerGetCallback([](Parameter* self) { return self->setValue(300, IParameter::UPDATE_NO); });
    EXPECT_DOUBLE_EQ(p.getScale(), 1.0);
}

TEST(ParameterScaling, FailedScaleReadStopsTheWrite)
{
    Parameter exponent;
    exponent.registerGetCallback([](Parameter*) { return -6; });
    Parameter p;
    p.setScale(0.1);
    p.setScaleParameter(&exponent);
    p.setActualValue(42);
    EXPECT_EQ(p.setScaledValue(5, IParameter::UPDATE_NO), -6);
    EXPECT_EQ(p.getActualValue(), QVariant(42));
    EXPECT_DOUBLE_EQ(p.getScale(), 0.1) << "a failed read keeps the last known scale";
}

TEST(ParameterScaling, OutsideValuesThatCannotBeStoredAreRefused)
{
    Parameter p(QStringLiteral("level"), ITF_RES_WORD, Parameter::PARAM_READ_WRITE);
    p.setMaxValue(QVariant()); // no upper limit
    p.setAddress(1);
    p.setActualValue(7);
    const double inf = std::numeric_limits<double>::infinity();

    expectParameterErrorContaining([&] { p.setScaledValue(std::nan(""), IParameter::UPDATE_NO); },
        "of parameter level is not a finite number");
    expectParameterErrorContaining(
        [&] { p.setScaledValue(inf, IParameter::UPDATE_NO); }, "not a finite number");
    expectParameterError([&] { p.setScaledValue(QStringLiteral("abc"), IParameter::UPDATE_NO); },
        "Value \"abc\" of parameter level is not a number");
    expectParameterErrorContaining(
        [&] { p.setScaledValue(QVariant(), IParameter::UPDATE_NO); }, "is not a number");
    expectParameterErrorContaining(
        [&] { p.setScaledValue(1e300, IParameter::UPDATE_NO); }, "is out of range");
    expectParameterErrorContaining([&] { p.setScaledValue(5e9, IParameter::UPDATE_NO); }, "is out of range");
    expectParameterErrorContaining(
        [&] { p.setValue(std::nan(""), IParameter::UPDATE_NO); }, "not a finite number");
    expectParameterErrorContaining([&] { p.setDefaultValue(-inf); }, "not a finite number");
    EXPECT_EQ(p.getActualValue(), QVariant(7)) << "a refused value changes nothing";

    p.setScale(0.0);
    expectParameterError(
        [&] { p.setScaledValue(1, IParameter::UPDATE_NO); }, "Parameter level has no usable scale (0)");
    expectParameterErrorContaining([&] { p.setScale(std::nan("")); }, "is not a finite number");

    Parameter signedByte(QStringLiteral("trim"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    signedByte.setMinValue(-200);
    signedByte.setAddress(1);
    expectParameterError([&] { signedByte.setScaledValue(-150, IParameter::UPDATE_NO); },
        "Value -150 of parameter trim is out of range (-128 to 127)");
}
