#include "core/itf_error.h"
#include "core/parameters/bool_raw_parameter.h"
#include "core/parameters/custom_raw_parameter.h"
#include "core/parameters/enum_raw_parameter.h"
#include "core/parameters/integer_raw_parameter.h"
#include "error_matchers.h"
#include "fake_raw_memory.h"
#include "service/string_exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using namespace tarvesk::core;
using tarvesk::core::testing::FakeDevice;
using tarvesk::core::testing::FakeRawMemory;
using Access = FakeRawMemory::Access;

namespace {

// An enum field in bits 4..5, filled the way built-in parameters fill theirs.
class ModeParameter : public EnumRawParameter
{
public:
    explicit ModeParameter(bool withAuto = true)
        : EnumRawParameter(QStringLiteral("mode"), 0x10, QStringLiteral("ee"))
    {
        setBitmask(0x30);
        addEnumValue(0x00, QStringLiteral("off"));
        addEnumValue(0x10, QStringLiteral("on"));
        if (withAuto)
            addEnumValue(0x20, QStringLiteral("auto"));
        addEnumValue(0x110, QStringLiteral("wide")); // a table entry with a bit outside the field
        for (const QVariant& name : getEnumTable())
            addEnumOption(name.toString());
    }
};

// Lets a test hold the maximum in any variant form.
class CctParameter : public IntegerRawParameter
{
public:
    CctParameter()
        : IntegerRawParameter(QStringLiteral("cct"), 1, QStringLiteral("ee"), 0xFFFF)
    { }
    using IntegerRawParameter::storeMaxValue;
};

struct Fixture
{
    FakeDevice device;
    FakeRawMemory* ee = device.addMemory(QStringLiteral("ee"));

    template <typename P> P& attach(P& p)
    {
        p.setDeviceInterface(&device);
        return p;
    }
};

} // namespace

// The exact words read and written for each kind of bit field.
TEST(RawParameter, ReadModifyWriteWords)
{
    struct Row
    {
        const char* name;
        std::function<std::unique_ptr<RawParameter>()> make;
        unsigned int before;
        QVariant value;
        unsigned int written;
    };
    const auto integer = [](unsigned mask, const char* res) {
        auto p = std::make_unique<IntegerRawParameter>(
            QStringLiteral("level"), 0x10, QStringLiteral("ee"), static_cast<int>(mask));
        p->setResolutionEnum(QString::fromLatin1(res));
        return p;
    };
    const auto boolean = [](unsigned mask, const char* id, int address) {
        auto p = std::make_unique<BoolRawParameter>(QString::fromLatin1(id), address, QStringLiteral("ee"));
        p->setBitmask(mask);
        return p;
    };
    const Row rows[] = {
        {"integer field in bits 8..11", [&] { return integer(0x0F00, "ITF_RES_WORD"); }, 0x1234, 0x0500,
            0x1534},
        {"integer bits outside the mask are dropped", [&] { return integer(0x0F00, "ITF_RES_WORD"); }, 0x1234,
            0xF5FF, 0x1534},
        {"integer negative value in a long", [&] { return integer(0xFFFF0000u, "ITF_RES_LONG"); }, 0x00001234,
            -65536, 0xFFFF1234},
        {"bool sets its bit", [&] { return boolean(0x10, "flag", 3); }, 0x01, true, 0x11},
        {"bool clears its bit", [&] { return boolean(0x10, "flag", 3); }, 0x11, false, 0x01},
        {"bool from text", [&] { return boolean(0x10, "flag", 3); }, 0x01, QStringLiteral("true"), 0x11},
        {"lightshape active off", [&] { return boolean(0x04, "light_shaping_active", 105); }, 0xFF, false,
            0x83},
        {"lightshape active on", [&] { return boolean(0x04, "light_shaping_active", 105); }, 0xFF, true,
            0x87},
        {"same name elsewhere is ordinary", [&] { return boolean(0x04, "light_shaping_active", 104); }, 0xFF,
            false, 0xFB},
        {"enum into a cleared field", [] { return std::make_unique<ModeParameter>(); }, 0xCF,
            QStringLiteral("auto"), 0xEF},
        {"enum replaces the field, never adds", [] { return std::make_unique<ModeParameter>(); }, 0xFF,
            QStringLiteral("on"), 0xDF},
        {"enum entry wider than the field", [] { return std::make_unique<ModeParameter>(); }, 0x0CF,
            QStringLiteral("wide"), 0x0DF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        std::unique_ptr<RawParameter> p = row.make();
        f.attach(*p);
        const int address = p->getAddress();
        f.ee->memory[address] = row.before;
        ASSERT_EQ(p->setRawValue(row.value), 0);
        const NetworkResolution res = p->getNetworkResolution();
        EXPECT_EQ(f.ee->journal,
            (QVector<Access> {{'r', res, address, row.before}, {'w', res, address, row.written}}));
    }
}

TEST(RawParameter, ReadsDecodeTheFieldAndNeverWrite)
{
    Fixture f;
    IntegerRawParameter level(QStringLiteral("level"), 0x10, QStringLiteral("ee"), 0x0F00);
    BoolRawParameter flag(QStringLiteral("flag"), 0x10, QStringLiteral("ee"));
    flag.setBitmask(0x10);
    ModeParameter mode;
    CustomRawParameter whole(
        QStringLiteral("whole"), 0x10, QStringLiteral("ITF_RES_WORD"), QStringLiteral("ee"));
    f.attach(level);
    f.attach(flag);
    f.attach(mode);
    f.attach(whole);

    f.ee->memory[0x10] = 0x1221;
    EXPECT_EQ(level.getRawValue(), QVariant(0x0200u));
    EXPECT_EQ(flag.getRawValue(), QVariant(false));
    EXPECT_EQ(mode.getRawValue(), QVariant(QStringLiteral("auto")));
    EXPECT_EQ(whole.getRawValue(), QVariant(0x1221u));
    f.ee->memory[0x10] = 0x0011;
    EXPECT_EQ(flag.getRawValue(), QVariant(true));
    EXPECT_EQ(mode.getRawValue(), QVariant(QStringLiteral("on")));
    EXPECT_TRUE(f.ee->writes().isEmpty());
}

TEST(RawParameter, EnumValueWithoutNameReadsInvalidAndWritesNothing)
{
    Fixture f;
    ModeParameter mode(false); // no name for 0x20
    f.attach(mode);
    mode.setActualValue(QStringLiteral("on"));
    f.ee->memory[0x10] = 0x20;

    QVariant out(QStringLiteral("untouched"));
    EXPECT_EQ(mode.readRawValue(out), ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(out, QVariant(QStringLiteral("untouched")));
    EXPECT_FALSE(mode.getRawValue().isValid());
    EXPECT_EQ(mode.getValue(out, IParameter::UPDATE_YES), ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(mode.getActualValue(), QVariant(QStringLiteral("on")));
    EXPECT_TRUE(f.ee->writes().isEmpty());
}

TEST(RawParameter, UnknownEnumNameIsRefusedBeforeTheBus)
{
    Fixture f;
    ModeParameter mode;
    f.attach(mode);
    try {
        mode.setRawValue(QStringLiteral("bogus"));
        FAIL() << "expected StringException";
    } catch (const StringException& e) {
        EXPECT_EQ(e.message(),
            QStringLiteral("bogus is not a valid value for parameter mode. Use values   - off - on "
                           "- auto - wide.  @ enum_raw_parameter: 79"));
    }
    EXPECT_TRUE(f.ee->journal.isEmpty());
    EXPECT_EQ(mode.enumValue(QStringLiteral("on")), 0x10u);
    EXPECT_EQ(mode.enumName(0xFF), QStringLiteral("")) << "0x30 has no name";
    EXPECT_EQ(mode.enumName(0x1F), QStringLiteral("on"));
}

// A failed read is reported as such: no write follows, and the value held
// from before is never passed off as what the memory holds.
TEST(RawParameter, FailedReadReturnsItsStatus)
{
    const std::function<std::unique_ptr<RawParameter>()> makers[] = {
        [] {
            return std::make_unique<IntegerRawParameter>(QStringLiteral("i"), 1, QStringLiteral("ee"), 0xFF);
        },
        [] { return std::make_unique<BoolRawParameter>(QStringLiteral("b"), 1, QStringLiteral("ee")); },
        [] { return std::make_unique<ModeParameter>(); },
        [] {
            return std::make_unique<CustomRawParameter>(
                QStringLiteral("c"), 1, QStringLiteral("ITF_RES_BYTE"), QStringLiteral("ee"));
        },
    };
    const QVariant writeValues[] = {QVariant(5), QVariant(true), QVariant(QStringLiteral("on")), QVariant(5)};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        Fixture f;
        std::unique_ptr<RawParameter> p = makers[i]();
        f.attach(*p);
        p->setActualValue(QStringLiteral("held"));
        f.ee->readStatus = ITF_ERR_TIMEOUT;

        QVariant out(QStringLiteral("untouched"));
        EXPECT_EQ(p->readRawValue(out), ITF_ERR_TIMEOUT);
        EXPECT_EQ(out, QVariant(QStringLiteral("untouched")));
        EXPECT_FALSE(p->getRawValue().isValid());
        EXPECT_EQ(p->getValue(out, IParameter::UPDATE_YES), ITF_ERR_TIMEOUT);
        EXPECT_EQ(out, QVariant(QStringLiteral("untouched")));
        EXPECT_EQ(p->getActualValue(), QVariant(QStringLiteral("held")));

        if (i != 3) { // the custom word is written whole, without reading first
            EXPECT_EQ(p->setValue(writeValues[i], IParameter::UPDATE_YES), ITF_ERR_TIMEOUT);
            EXPECT_TRUE(f.ee->writes().isEmpty());
            EXPECT_EQ(p->getActualValue(), QVariant(QStringLiteral("held")));
        }

        f.ee->readStatus = 0;
        f.ee->writeStatus = ITF_ERR_IO;
        EXPECT_EQ(p->setValue(writeValues[i], IParameter::UPDATE_YES), ITF_ERR_IO);
        EXPECT_EQ(p->getActualValue(), QVariant(QStringLiteral("held")));
    }
}

TEST(RawParameter, ScaledValueReachesMemoryAndComesBack)
{
    Fixture f;
    IntegerRawParameter current(QStringLiteral("current"), 0x20, QStringLiteral("ee"), 0xFFFF);
    f.attach(current);
    current.setResolutionEnum(QStringLiteral("ITF_RES_WORD"));
    current.setScale(0.1);
    current.setMaxValue(1000);
    ASSERT_EQ(current.setScaledValue(12.34, IParameter::UPDATE_YES), 0);
    EXPECT_EQ(f.ee->memory.value(0x20), 123u);
    current.setActualValue(0);
    QVariant out;
    ASSERT_EQ(current.getValue(out, IParameter::UPDATE_YES), 0);
    EXPECT_NEAR(current.getScaledValue().toDouble(), 12.3, 1e-9);
}

TEST(RawParameter, MissingDeviceOrInterface)
{
    RawParameter orphan(QStringLiteral("orphan"), 7, QStringLiteral("ee"));
    expectParameterError([&] { orphan.getDeviceInterface(); }, "Parent of parameter orphan is not a device");
    orphan.setActualValue(9);
    EXPECT_EQ(orphan.getRawValue(), QVariant(9)) << "the base form reports the held value";

    Fixture f;
    RawParameter elsewhere(QStringLiteral("p"), 7, QStringLiteral("ram"));
    f.attach(elsewhere);
    expectParameterError([&] { elsewhere.getRawInterface(); },
        "Device does not contain required interface to communicate with firmware");

    CustomRawParameter custom(QStringLiteral("c"), 1, QStringLiteral("ITF_RES_BYTE"), QStringLiteral("ram"));
    IntegerRawParameter integer(QStringLiteral("i"), 1, QStringLiteral("ram"), 0xFF);
    f.attach(custom);
    f.attach(integer);
    QVariant out;
    EXPECT_EQ(custom.setRawValue(1), ITF_ERR_UNSUPPORTED_MODULE);
    EXPECT_EQ(custom.readRawValue(out), ITF_ERR_UNSUPPORTED_MODULE);
    EXPECT_EQ(integer.setRawValue(1), ITF_ERR_UNSUPPORTED_MODULE);
    EXPECT_EQ(integer.readRawValue(out), ITF_ERR_UNSUPPORTED_MODULE);

    BoolRawParameter flag(QStringLiteral("b"), 1, QStringLiteral("ram"));
    f.attach(flag);
    EXPECT_THROW(flag.setRawValue(true), ParameterError);
}

TEST(RawParameter, OutsideValuesAreCheckedBeforeTheBus)
{
    Fixture f;
    CustomRawParameter byte(QStringLiteral("b"), 1, QStringLiteral("ITF_RES_BYTE"), QStringLiteral("ee"));
    IntegerRawParameter integer(QStringLiteral("i"), 1, QStringLiteral("ee"), 0xFF);
    BoolRawParameter flag(QStringLiteral("f"), 1, QStringLiteral("ee"));
    f.attach(byte);
    f.attach(integer);
    f.attach(flag);

    expectParameterError(
        [&] { byte.setRawValue(256); }, "Value 256 of parameter b is out of range (-128 to 255)");
    expectParameterErrorContaining([&] { integer.setRawValue(std::nan("")); }, "is not a finite number");
    expectParameterErrorContaining([&] { integer.setRawValue(5e9); }, "is out of range");
    expectParameterError(
        [&] { integer.setRawValue(QStringLiteral("x")); }, "Value \"x\" of parameter i is not a number");
    expectParameterError([&] { flag.setRawValue(QStringLiteral("maybe")); },
        "Value \"maybe\" of parameter f is not a boolean");
    EXPECT_TRUE(f.ee->journal.isEmpty());

    ASSERT_EQ(byte.setRawValue(-1), 0);
    EXPECT_EQ(f.ee->memory.value(1), 0xFFu) << "a negative byte is written in two's complement";
}

TEST(RawParameter, ConstructorsAndClones)
{
    expectParameterError(
        [] {
            CustomRawParameter(QStringLiteral("c"), 1, QStringLiteral("ITF_RES_SHORT"), QStringLiteral("ee"));
        },
        "Resolution \"ITF_RES_SHORT\" undefined");
    CustomRawParameter custom(QStringLiteral("c"), 3, QStringLiteral("ITF_RES_LONG"), QStringLiteral("ee"));
    EXPECT_EQ(custom.getGroup(), QStringLiteral("Raw"));
    EXPECT_EQ(custom.getAccessLevel(), QStringLiteral("user_basic"));
    EXPECT_EQ(custom.getMaxValue(), QVariant(qulonglong(4294967295ULL)));

    IntegerRawParameter integer(QStringLiteral("i"), 4, QStringLiteral("ee"), 0x0F00);
    EXPECT_EQ(integer.getMinValue(), QVariant(0));
    EXPECT_EQ(integer.getMaxValue(), QVariant(65535));
    EXPECT_EQ(integer.getMaxValue().userType(), QMetaType::Int);
    EXPECT_EQ(integer.getAccessLevel(), QStringLiteral("dev"));

    BoolRawParameter flag(QStringLiteral("f"), 5, QStringLiteral("ee"));
    EXPECT_EQ(flag.getParameterType(), PARAM_TYPE_BOOLEAN);
    EXPECT_EQ(flag.getActualValue(), QVariant(false));
    EXPECT_EQ(flag.getDefaultValue(), QVariant(false));

    Fixture f;
    ModeParameter mode;
    f.attach(mode);
    RawParameter* originals[] = {&custom, &integer, &flag, &mode};
    for (RawParameter* original : originals) {
        SCOPED_TRACE(original->getIdentifier().toStdString());
        std::unique_ptr<IParameter> copy(original->clone());
        EXPECT_STREQ(copy->metaObject()->className(), original->metaObject()->className());
        auto* raw = dynamic_cast<RawParameter*>(copy.get());
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(raw->getAddress(), original->getAddress());
        EXPECT_EQ(raw->getRawInterfaceIdentifier(), original->getRawInterfaceIdentifier());
        EXPECT_EQ(raw->getBitmask(), original->getBitmask());
        EXPECT_EQ(raw->getNetworkResolution(), original->getNetworkResolution());
        EXPECT_THROW(raw->getDeviceInterface(), ParameterError) << "the receiving device sets its own";
    }
    std::unique_ptr<IParameter> modeCopy(mode.clone());
    EXPECT_EQ(static_cast<EnumRawParameter*>(modeCopy.get())->getEnumTable(), mode.getEnumTable());
}

TEST(RawParameterInterface, ScriptWrappersKeepTheLastAnswer)
{
    FakeDevice device;
    FakeRawMemory* ee = device.addMemory(QStringLiteral("ee"));
    EXPECT_EQ(ee->getIdentificationString(), QStringLiteral("ee"));
    EXPECT_EQ(ee->getDevice(), &device);
    Parameter word(QStringLiteral("w"), ITF_RES_WORD, Parameter::PARAM_READ_WRITE);
    ee->memory[9] = 0xBEEF;

    EXPECT_EQ(ee->getParamWrapper(&word, 9), 0);
    EXPECT_EQ(ee->getLastAnswer(), 0xBEEFu);
    EXPECT_EQ(ee->journal.last(), (Access {'r', ITF_RES_WORD, 9, 0xBEEF}));

    ee->readStatus = ITF_ERR_NO_REPLY;
    EXPECT_EQ(ee->getParamWrapper(&word, 9), ITF_ERR_NO_REPLY);
    EXPECT_EQ(ee->getLastAnswer(), 0u);

    ee->memory[9] = 0;
    EXPECT_EQ(ee->getParamWrapper(&word, 9), ITF_ERR_NO_REPLY);
    ee->readStatus = 0;
    EXPECT_EQ(ee->getParamWrapper(&word, 9), 0);
    EXPECT_EQ(ee->setParamWrapper(&word, 9, 0x1234), 0);
    EXPECT_EQ(ee->getLastAnswer(), 0u);
    EXPECT_EQ(ee->memory.value(9), 0x1234u);
    EXPECT_EQ(ee->getParamWrapper(nullptr, 9), ITF_ERR_INVALID_PARAM);
}

TEST(IntegerRawParameter, KelvinAndMirek)
{
    CctParameter cct;
    const std::pair<int, int> kelvinToMirek[]
        = {{2700, 370}, {6500, 153}, {1, 1000000}, {1000000, 1}, {0, 65535}, {-5, 65535}, {1000001, 0}};
    for (const auto& [kelvin, mirek] : kelvinToMirek)
        EXPECT_EQ(cct.kelvinToMirek(kelvin), mirek) << kelvin << " K";

    cct.setMinValue(QVariant());
    cct.storeMaxValue(QVariant());
    const std::pair<int, int> mirekToKelvin[] = {{370, 2700}, {153, 6530}, {100, 10000}, {1, 1000000},
        {0, 1000001}, {-3, 1000001}, {65535, 0}, {65534, 10}};
    for (const auto& [mirek, kelvin] : mirekToKelvin)
        EXPECT_EQ(cct.mirekToKelvin(mirek), kelvin) << mirek << " mirek";

    // Clamping works on the numbers, whatever form the limits are held in.
    const std::pair<QVariant, QVariant> limitForms[] = {
        {QVariant(2700), QVariant(6500)},
        {QVariant(qulonglong(2700)), QVariant(qulonglong(6500))},
        {QVariant(2700.0), QVariant(6500.0)},
    };
    for (const auto& [lo, hi] : limitForms) {
        SCOPED_TRACE(hi.typeName());
        cct.setMinValue(lo);
        cct.storeMaxValue(hi);
        EXPECT_EQ(cct.mirekToKelvin(100), 6500);
        EXPECT_EQ(cct.mirekToKelvin(500), 2700);
        EXPECT_EQ(cct.mirekToKelvin(250), 4000);
    }
    cct.setMinValue(QVariant());
    cct.setMaxValue(6500); // held as an unsigned 64-bit number
    EXPECT_EQ(cct.mirekToKelvin(100), 6500);
    EXPECT_EQ(cct.mirekToKelvin(1000), 1000) << "no lower limit";
}
