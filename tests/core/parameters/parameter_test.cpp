#include "core/parameters/parameter.h"
#include "core/script/iscript_engine.h"
#include "error_matchers.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvesk::core;

namespace {

class StubScriptEngine : public IScriptEngine
{
};

} // namespace

TEST(Parameter, ConstructorsSetTheirDefinition)
{
    Parameter plain;
    EXPECT_EQ(plain.getIdentifier(), QStringLiteral("unknown"));
    EXPECT_EQ(plain.getDisplayName(), QStringLiteral("unknown"))
        << "an empty display name shows the identifier";
    EXPECT_EQ(plain.getGroup(), QStringLiteral("Unsorted"));
    EXPECT_EQ(plain.getAccessLevel(), QStringLiteral("dev"));
    EXPECT_EQ(plain.getReadWrite(), Parameter::PARAM_READ_WRITE);
    EXPECT_EQ(plain.getBitmask(), 0xFFFFu);
    EXPECT_EQ(plain.getActualValue(), QVariant(0));
    EXPECT_EQ(plain.getAddress(), -1);
    EXPECT_FALSE(plain.getMaxValue().isValid());
    EXPECT_FALSE(plain.getMinValue().isValid());

    Parameter word(QStringLiteral("fade"), ITF_RES_WORD, Parameter::PARAM_READ_ONLY);
    EXPECT_TRUE(word.isReadOnly());
    EXPECT_EQ(word.getMaxValue(), QVariant(qulonglong(65535)));
    EXPECT_EQ(word.getMaxValue().userType(), QMetaType::ULongLong);

    Parameter raw(
        0x40, QStringLiteral("x"), QStringLiteral("ram"), ITF_RES_LONG, Parameter::PARAM_WRITE_ONLY);
    EXPECT_EQ(raw.getIdentifier(), QStringLiteral("RAW_x"));
    EXPECT_EQ(raw.getAddress(), 0x40);
    EXPECT_EQ(raw.getRawInterfaceIdentifier(), QStringLiteral("ram"));
    EXPECT_EQ(raw.getBitmask(), 0u);
    EXPECT_EQ(raw.getAccessLevel(), QStringLiteral("user_basic"));
    EXPECT_EQ(raw.getMaxValue(), QVariant(qulonglong(4294967295ULL)));
}

TEST(Parameter, BuiltFromDefinitionRecord)
{
    ParameterData data;
    data.identifier = "rated_power";
    data.displayName = "Rated power";
    data.description = "Power at full output";
    data.unit = PARAM_UNIT_WATT;
    data.type = PARAM_TYPE_NUMBER;
    data.group = "D4i";
    data.accessLevel = "oem";
    data.defaultValue = 12;
    data.tags = {"D4i", "power"};
    data.minValue = 0u;
    data.maxValue = 65535ul;
    data.offset = 3;
    data.scale = 0.5;
    data.stepSize = 2;
    data.specialValues = {{65535, "unknown"}};
    data.daliMemoryBankData = 0x01020304;
    data.readAction = "memory_bank_read_integer";

    Parameter p(data);
    EXPECT_EQ(p.getIdentifier(), QStringLiteral("rated_power"));
    EXPECT_EQ(p.getDisplayName(), QStringLiteral("Rated power"));
    EXPECT_EQ(p.getDescription(), QStringLiteral("Power at full output"));
    EXPECT_EQ(p.getUnit(), PARAM_UNIT_WATT);
    EXPECT_EQ(p.getGroup(), QStringLiteral("D4i"));
    EXPECT_EQ(p.getAccessLevel(), QStringLiteral("oem"));
    EXPECT_EQ(p.getDefaultValue(), QVariant(12));
    EXPECT_EQ(p.getActualValue(), QVariant(0)) << "the default does not become the value";
    EXPECT_EQ(p.getTags(), QStringList({QStringLiteral("D4i"), QStringLiteral("power")}));
    EXPECT_EQ(p.getMinValue(), QVariant(0u));
    EXPECT_EQ(p.getMaxValue().userType(), QMetaType::ULong);
    EXPECT_EQ(p.getOffset(), 3);
    EXPECT_FALSE(p.isScaleSet());
    EXPECT_DOUBLE_EQ(p.getStepSize(), 2.0) << "the step stays unscaled until a scale is set";
    EXPECT_EQ(p.getDaliMemoryBankData(), 0x01020304u);
    EXPECT_EQ(p.getParameterActionData().readAction, "memory_bank_read_integer");
    EXPECT_TRUE(p.isReadOnly());
    EXPECT_EQ(p.getNetworkResolution(), ITF_RES_BYTE);
    EXPECT_EQ(p.getBitmask(), 0xFFFFu);
    p.setActualValue(65535);
    EXPECT_EQ(p.getScaledValue(), QVariant(QStringLiteral("unknown")));
    p.setActualValue(23);
    EXPECT_DOUBLE_EQ(p.getScaledValue().toDouble(), 10.0) << "(23 - 3) * 0.5";
}

TEST(Parameter, ReadWriteModeFollowsActionNames)
{
    const struct
    {
        const char* read;
        const char* write;
        Parameter::ParamReadWrite mode;
    } rows[] = {
        {"", "", Parameter::PARAM_READ_WRITE},
        {"r", "w", Parameter::PARAM_READ_WRITE},
        {"r", "", Parameter::PARAM_READ_ONLY},
        {"", "w", Parameter::PARAM_WRITE_ONLY},
    };
    for (const auto& row : rows) {
        ParameterData data;
        data.readAction = row.read;
        data.writeAction = row.write;
        EXPECT_EQ(Parameter(data).getReadWrite(), row.mode) << row.read << "/" << row.write;
    }
}

TEST(Parameter, DefinitionValuesConvertByHeldType)
{
    EXPECT_FALSE(Parameter::convertAnyToQVariant(std::any()).isValid());
    EXPECT_EQ(Parameter::convertAnyToQVariant(-4).userType(), QMetaType::Int);
    EXPECT_EQ(Parameter::convertAnyToQVariant(4u).userType(), QMetaType::UInt);
    EXPECT_EQ(Parameter::convertAnyToQVariant(4ul).userType(), QMetaType::ULong);
    EXPECT_EQ(Parameter::convertAnyToQVariant(4ull).userType(), QMetaType::ULongLong);
    EXPECT_EQ(Parameter::convertAnyToQVariant(true), QVariant(true));
    EXPECT_EQ(Parameter::convertAnyToQVariant("on"), QVariant(QStringLiteral("on")));

    expectParameterError([] { Parameter::convertAnyToQVariant(1.5); }, "Unknown type: \"double\"");
    expectParameterErrorContaining(
        [] { Parameter::convertAnyToQVariant(std::string("x")); }, "Unknown type: \"std::");
    ParameterData data;
    data.maxValue = 2.5f;
    expectParameterError([&] { Parameter p(data); }, "Unknown type: \"float\"");
}

TEST(Parameter, ReadCallbackFailureLeavesOutputAndValue)
{
    Parameter p;
    p.setActualValue(5);
    p.registerGetCallback([](Parameter*) { return -11; });
    QVariant out(QStringLiteral("untouched"));
    EXPECT_EQ(p.getValue(out, IParameter::UPDATE_YES), -11);
    EXPECT_EQ(out, QVariant(QStringLiteral("untouched")));
    EXPECT_EQ(p.getValue(out, IParameter::UPDATE_NO), 0) << "the held value needs no device";
    EXPECT_EQ(out, QVariant(5));

    p.registerGetCallback([](Parameter* self) { return self->setValue(9, IParameter::UPDATE_NO); });
    EXPECT_EQ(p.getValue(out, IParameter::UPDATE_YES), 0);
    EXPECT_EQ(out, QVariant(9));
}

TEST(Parameter, WriteGoesThroughCallbackOnlyWithUpdate)
{
    Parameter p;
    QVariantList written;
    int status = 0;
    p.registerSetCallback([&](Parameter*, QVariant v) {
        written.append(v);
        return status;
    });
    EXPECT_EQ(p.setValue(3, IParameter::UPDATE_NO), 0);
    EXPECT_EQ(p.setValue(4, IParameter::UPDATE_UNDEFINED), 0);
    EXPECT_TRUE(written.isEmpty());
    EXPECT_EQ(p.setValue(5, IParameter::UPDATE_YES), 0);
    EXPECT_EQ(written, QVariantList({5}));
    status = -6;
    EXPECT_EQ(p.setValue(6, IParameter::UPDATE_YES), -6);
    EXPECT_EQ(p.getActualValue(), QVariant(5)) << "a failed write keeps the value";
}

TEST(Parameter, EnabledAndAccessLevels)
{
    Parameter p(QStringLiteral("$hidden"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    EXPECT_FALSE(p.isEnabled()) << "identifier shown as display name starts with $";
    p.setDisplayName(QStringLiteral("Visible"));
    EXPECT_TRUE(p.isEnabled());
    p.setEnabled(false);
    EXPECT_FALSE(p.isEnabled());
    p.setEnabled(true);
    p.setDisplayName(QStringLiteral("$Shown"));
    EXPECT_FALSE(p.isEnabled());

    const char* levels[] = {"user_basic", "user_detailed", "oem", "dev", "", "Dev"};
    // Rows: own level; columns: asked level, in the order of `levels`.
    const struct
    {
        const char* own;
        bool admitted[6];
    } rows[] = {
        {"user_basic", {true, true, true, true, false, false}},
        {"user_detailed", {false, true, true, true, false, false}},
        {"oem", {false, false, true, true, false, false}},
        {"dev", {false, false, false, true, false, false}},
        {"", {false, false, false, true, false, false}},
        {"other", {false, false, false, true, false, false}},
    };
    for (const auto& row : rows) {
        p.setAccessLevel(QString::fromLatin1(row.own));
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(p.isAccessLevelSupported(QString::fromLatin1(levels[i])), row.admitted[i])
                << "own " << row.own << " asked " << levels[i];
    }
}

TEST(Parameter, MaximumKeepsItsNumericMeaning)
{
    Parameter p;
    p.setMaxValue(300);
    EXPECT_EQ(p.getMaxValue(), QVariant(qulonglong(300)));
    EXPECT_EQ(p.getMaxValue().userType(), QMetaType::ULongLong);
    p.setMaxValue(QStringLiteral("abc"));
    EXPECT_EQ(p.getMaxValue(), QVariant(QStringLiteral("abc")));
    p.setMaxValue(12.5);
    EXPECT_EQ(p.getMaxValue(), QVariant(12.5)) << "not rounded";
    p.setMaxValue(-5);
    EXPECT_EQ(p.getMaxValue(), QVariant(-5)) << "not wrapped to a huge unsigned number";
    p.setMaxValueForResolution(ITF_RES_BYTE);
    EXPECT_EQ(p.getMaxValue(), QVariant(qulonglong(255)));
}

TEST(Parameter, SmallAccessors)
{
    Parameter p;
    p.setBitmaskIndex(3);
    EXPECT_EQ(p.getBitmask(), 0x8u);
    p.setBitmaskIndex(33);
    EXPECT_EQ(p.getBitmask(), 0x2u);

    p.addEnumOption(QStringLiteral("a"));
    p.addEnumOption(QStringLiteral("b"));
    p.addEnumOption(QStringLiteral("a"));
    p.addEnumOption(QStringLiteral("A"));
    EXPECT_EQ(p.getEnumOptions(), QStringList({"a", "b", "A"}));
    p.removeEnumOption(QStringLiteral("b"));
    p.removeEnumOption(QStringLiteral("zz"));
    EXPECT_EQ(p.getEnumOptions(), QStringList({"a", "A"}));

    p.addTag(QStringLiteral("t"));
    p.addTag(QStringLiteral("t"));
    EXPECT_EQ(p.getTags().size(), 2);

    EXPECT_EQ(p.getStringValue(), QStringLiteral("not_supported"));
    p.setActualValue(QStringLiteral("text"));
    EXPECT_EQ(p.getStringValue(), QStringLiteral("text"));
    int i = 0;
    EXPECT_FALSE(p.getIntegerActualValue(i));
    p.setActualValue(41.6);
    EXPECT_TRUE(p.getIntegerActualValue(i));
    EXPECT_EQ(i, 42);
    p.setActualValue(1e20);
    EXPECT_FALSE(p.getIntegerActualValue(i)) << "too large for an int";

    p.setScale(0.1);
    p.setUnscaledStepSize(0.5);
    EXPECT_DOUBLE_EQ(p.getStepSize(), 0.5);

    p.setScriptGetCallback(QJSValue(1));
    p.setScriptSetCallback(QJSValue(2));
    EXPECT_EQ(p.getParameterActionData().readAction, "script_read");
    EXPECT_EQ(p.getParameterActionData().writeAction, "script_write");
}

TEST(Parameter, CloneCopiesDefinitionButNotDeviceCallbacks)
{
    Parameter scale;
    Parameter p(QStringLiteral("cct"), ITF_RES_WORD, Parameter::PARAM_READ_ONLY);
    p.setDisplayName(QStringLiteral("CCT"));
    p.setDescription(QStringLiteral("colour temperature"));
    p.setParameterType(PARAM_TYPE_NUMBER);
    p.setUnit(PARAM_UNIT_KELVIN);
    p.setGroup(QStringLiteral("LightShape"));
    p.setAccessLevel(QStringLiteral("oem"));
    p.setMinValue(2700);
    p.setMaxValue(6500);
    p.setDefaultValue(4000);
    p.setBitmask(0x0FF0);
    p.addEnumOption(QStringLiteral("x"));
    p.setScale(10);
    p.setOffset(-1);
    p.setSpecialValues({{0, "off"}});
    p.setScaleParameter(&scale);
    p.setStepSize(2);
    p.setConstant(true);
    p.setPriorityLevel(7);
    p.addTag(QStringLiteral("tag"));
    p.setHidden(true);
    p.setAddress(0x33);
    p.setRawInterfaceIdentifier(QStringLiteral("ee"));
    p.setInverted(true);
    p.setEnabled(false);
    p.setScriptGetCallback(QJSValue(QStringLiteral("get")));
    auto engine = std::make_shared<StubScriptEngine>();
    p.setScriptEngine(engine);
    int calls = 0;
    p.registerGetCallback([&calls](Parameter*) { return ++calls, 0; });
    p.registerSetCallback([&calls](Parameter*, QVariant) { return ++calls, 0; });

    std::unique_ptr<IParameter> copy(p.clone());
    auto* c = dynamic_cast<Parameter*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->getIdentifier(), p.getIdentifier());
    EXPECT_EQ(c->getDisplayName(), p.getDisplayName());
    EXPECT_EQ(c->getDescription(), p.getDescription());
    EXPECT_EQ(c->getUnit(), PARAM_UNIT_KELVIN);
    EXPECT_EQ(c->getGroup(), p.getGroup());
    EXPECT_EQ(c->getAccessLevel(), p.getAccessLevel());
    EXPECT_TRUE(c->isReadOnly());
    EXPECT_EQ(c->getNetworkResolution(), ITF_RES_WORD);
    EXPECT_EQ(c->getMinValue(), p.getMinValue());
    EXPECT_EQ(c->getMaxValue(), p.getMaxValue());
    EXPECT_EQ(c->getDefaultValue(), QVariant(4000));
    EXPECT_EQ(c->getActualValue(), QVariant(4000));
    EXPECT_EQ(c->getBitmask(), 0x0FF0u);
    EXPECT_EQ(c->getEnumOptions(), p.getEnumOptions());
    EXPECT_TRUE(c->isScaleSet());
    EXPECT_DOUBLE_EQ(c->getStepSize(), 20.0);
    EXPECT_EQ(c->getOffset(), -1);
    EXPECT_EQ(c->getSpecialValues(), p.getSpecialValues());
    EXPECT_EQ(c->getScaleParameter(), &scale);
    EXPECT_TRUE(c->isConstant());
    EXPECT_EQ(c->getPriorityLevel(), 7u);
    EXPECT_EQ(c->getTags(), p.getTags());
    EXPECT_TRUE(c->isHidden());
    EXPECT_EQ(c->getAddress(), 0x33);
    EXPECT_EQ(c->getRawInterfaceIdentifier(), QStringLiteral("ee"));
    EXPECT_TRUE(c->isInverted());
    EXPECT_FALSE(c->isEnabled());
    EXPECT_EQ(c->getParameterActionData().readAction, "script_read");
    EXPECT_EQ(c->getScriptEngine(), engine) << "clone shares the script engine";
    EXPECT_EQ(c->getScriptGetCallback().toString(), QStringLiteral("get"));

    QVariant out;
    c->setScaleParameter(nullptr);
    c->getValue(out, IParameter::UPDATE_YES);
    c->setValue(1, IParameter::UPDATE_YES);
    EXPECT_EQ(calls, 0) << "device callbacks are not copied";

    Parameter target;
    target.copyFrom(&p);
    EXPECT_EQ(target.getIdentifier(), QStringLiteral("cct"));
    EXPECT_EQ(target.getScriptEngine(), nullptr) << "copyFrom leaves the script engine";
    EXPECT_TRUE(target.getScriptGetCallback().isUndefined());
    target.copyFrom(&target);
    EXPECT_EQ(target.getIdentifier(), QStringLiteral("cct"));
    expectParameterErrorContaining([&] { target.copyFrom(nullptr); }, "the source is not a Parameter");
}

TEST(Parameter, SortOrderIsGroupThenDisplayName)
{
    Parameter a, b, c;
    a.setGroup(QStringLiteral("B"));
    a.setDisplayName(QStringLiteral("a"));
    b.setGroup(QStringLiteral("a"));
    b.setDisplayName(QStringLiteral("z"));
    c.setGroup(QStringLiteral("B"));
    c.setDisplayName(QStringLiteral("B"));
    EXPECT_TRUE(paramLessThan(&a, &b)) << "upper case before lower case";
    EXPECT_TRUE(paramLessThan(&c, &a));
    EXPECT_FALSE(paramLessThan(&a, &c));
    EXPECT_FALSE(paramLessThan(&a, &a));
}
