#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/profile_type.h"
#include "core/profile/profile_type_parameters.h"
#include "fake_raw_memory.h"

#include <gtest/gtest.h>

#include <QJSEngine>
#include <QQmlEngine>

using namespace tarvesk::core;

// Feature scripts define parameters through their properties and invokable
// methods; this is what a script of the data package does with one.
TEST(ParameterScripting, ScriptsDefineParametersThroughProperties)
{
    Parameter::initMeta();
    QJSEngine engine;
    Parameter p(QStringLiteral("output"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    QQmlEngine::setObjectOwnership(&p, QQmlEngine::CppOwnership);
    engine.globalObject().setProperty(QStringLiteral("p"), engine.newQObject(&p));

    const QJSValue result = engine.evaluate(QStringLiteral(R"(
        p.displayName = 'Output current';
        p.group = 'Output';
        p.accessLevel = 'oem';
        p.setParameterTypeEnum('PARAM_TYPE_NUMBER');
        p.setParameterUnitEnum('PARAM_UNIT_MILLIAMPERE');
        p.setResolutionEnum('ITF_RES_WORD');
        p.minValue = 100;
        p.maxValue = 1050;
        p.parameterScale = 0.1;
        p.stepSize = 5;
        p.defaultValue = 3500;
        p.bitmask = 0xFFFF;
        p.address = 12;
        p.rawInterface = 'ee';
        p.inverted = true;
        p.readOnly = true;
        p.addTag('tag');
        p.addEnumOption('x');
        p.setPriorityLevel(3);
        p.getCallback = function () { return 0; };
        [p.getResolutionEnum(), p.getParameterTypeShortString(), p.getScaledValue(), p.enumOptions.length,
         p.actualValue, p.parameterEnabled, p.getUpdateEnum('UPDATE_YES')].join(',');
    )"));
    ASSERT_FALSE(result.isError()) << result.toString().toStdString();
    EXPECT_EQ(result.toString(), QStringLiteral("ITF_RES_WORD,number,350,1,3500,true,1"));

    EXPECT_EQ(p.getDisplayName(), QStringLiteral("Output current"));
    EXPECT_EQ(p.getGroup(), QStringLiteral("Output"));
    EXPECT_EQ(p.getAccessLevel(), QStringLiteral("oem"));
    EXPECT_EQ(p.getUnit(), PARAM_UNIT_MILLIAMPERE);
    EXPECT_EQ(p.getNetworkResolution(), ITF_RES_WORD);
    EXPECT_DOUBLE_EQ(p.getMinValue().toDouble(), 100.0);
    EXPECT_EQ(p.getMaxValue(), QVariant(qulonglong(1050)));
    EXPECT_DOUBLE_EQ(p.getStepSize(), 0.5);
    EXPECT_EQ(p.getAddress(), 12);
    EXPECT_EQ(p.getRawInterfaceIdentifier(), QStringLiteral("ee"));
    EXPECT_TRUE(p.isInverted());
    EXPECT_TRUE(p.isReadOnly());
    EXPECT_EQ(p.getTags(), QStringList({QStringLiteral("tag")}));
    EXPECT_EQ(p.getPriorityLevel(), 3u);
    EXPECT_TRUE(p.getScriptGetCallback().isCallable());
    EXPECT_EQ(p.getParameterActionData().readAction, "script_read");
}

TEST(ParameterScripting, ScriptsReadMemoryThroughTheWrappers)
{
    RawParameterInterface::initMeta();
    QJSEngine engine;
    tarvesk::core::testing::FakeDevice device;
    auto* ee = device.addMemory(QStringLiteral("ee"));
    ee->memory[7] = 0x2A;
    Parameter p(QStringLiteral("p"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    QQmlEngine::setObjectOwnership(&p, QQmlEngine::CppOwnership);
    QQmlEngine::setObjectOwnership(ee, QQmlEngine::CppOwnership);
    engine.globalObject().setProperty(QStringLiteral("p"), engine.newQObject(&p));
    engine.globalObject().setProperty(QStringLiteral("ee"), engine.newQObject(ee));

    const QJSValue result = engine.evaluate(
        QStringLiteral("var s = ee.getParamWrapper(p, 7); ee.setParamWrapper(p, 8, 5); [ee.identifier, s, "
                       "ee.getLastAnswer()].join(',')"));
    ASSERT_FALSE(result.isError()) << result.toString().toStdString();
    EXPECT_EQ(result.toString(), QStringLiteral("ee,0,0"));
    EXPECT_EQ(ee->memory.value(8), 5u);
    EXPECT_EQ(ee->journal.first().value, 0x2Au);
}

TEST(ParameterScripting, FeatureScriptsGrowASchema)
{
    ProfileType::initMeta();
    QJSEngine engine;
    ProfileTypeParameters schema(nullptr, std::make_shared<ParameterFactory>());
    QQmlEngine::setObjectOwnership(&schema, QQmlEngine::CppOwnership);
    engine.globalObject().setProperty(QStringLiteral("schema"), engine.newQObject(&schema));

    const QJSValue result = engine.evaluate(QStringLiteral(R"(
        var p = schema.addParameterByName('fade_time');
        p.displayName = 'Fade time';
        p.maxValue = 90;
        schema.getParameterInterface('fade_time').displayName;
    )"));
    ASSERT_FALSE(result.isError()) << result.toString().toStdString();
    EXPECT_EQ(result.toString(), QStringLiteral("Fade time"));
    engine.collectGarbage();
    IParameter* p = schema.getParameterInterface(QStringLiteral("fade_time"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->getMaxValue(), QVariant(qulonglong(90)));
}
