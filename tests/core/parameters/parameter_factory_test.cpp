#include "core/parameters/builtin_parameter_table.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"

#include <gtest/gtest.h>

#include <QSet>

#include <memory>

using namespace tarvesk::core;

TEST(ParameterFactory, BuiltinTableHoldsEachIdentifierOnce)
{
    const auto& table = builtinParameters();
    QSet<QString> identifiers;
    for (const BuiltinParameter& entry : table)
        identifiers.insert(QString::fromLatin1(entry.identifier));
    EXPECT_EQ(identifiers.size(), 36);
    EXPECT_STREQ(table.front().identifier, "light_shaping_enable");
    EXPECT_STREQ(table.back().identifier, "equal_output");

    const auto classOf = [&](const char* identifier) -> std::string {
        for (const BuiltinParameter& entry : table)
            if (std::string(entry.identifier) == identifier)
                return entry.className;
        return {};
    };
    EXPECT_EQ(classOf("light_shaping_default_forward_voltages"), "LightShapeCustomVfParameter");
    EXPECT_EQ(classOf("light_shaping_dali_dim_curve_compliant"), "LightShapeDimCurveOverrideParameter");
    EXPECT_EQ(classOf("scene_2_output_3"), "DmxScene2Output3Parameter");
}

TEST(ParameterFactory, EveryIdentifierGivesAParameterOfThatIdentifier)
{
    const ParameterFactory factory;
    for (const BuiltinParameter& entry : builtinParameters()) {
        std::unique_ptr<IParameter> p(factory.create(QString::fromLatin1(entry.identifier)));
        ASSERT_NE(p, nullptr) << entry.identifier;
        EXPECT_EQ(p->getIdentifier(), QString::fromLatin1(entry.identifier));
    }
}

TEST(ParameterFactory, OtherTextsGiveAPlainParameterToDefine)
{
    const ParameterFactory factory;
    for (const QString& identifier :
        {QStringLiteral("Scene_2_output_3"), QStringLiteral("my_script_param"), QString()}) {
        std::unique_ptr<IParameter> made(factory.create(identifier));
        auto* p = dynamic_cast<Parameter*>(made.get());
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p->metaObject()->className(), "tarvesk::core::Parameter");
        EXPECT_EQ(p->getIdentifier(), identifier);
        EXPECT_EQ(p->getParameterType(), PARAM_TYPE_NUMBER);
        EXPECT_EQ(p->getAccessLevel(), QStringLiteral("dev"));
        EXPECT_EQ(p->getGroup(), QStringLiteral("Unsorted"));
        EXPECT_EQ(p->getMaxValue(), QVariant(qulonglong(255)));
        EXPECT_EQ(p->getNetworkResolution(), ITF_RES_BYTE);
    }
    std::unique_ptr<IParameter> a(factory.create(QStringLiteral("x")));
    std::unique_ptr<IParameter> b(factory.create(QStringLiteral("x")));
    EXPECT_NE(a.get(), b.get());
}
