#include "core/core_errors.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/profile/profile_type.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/iscript_engine.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

using namespace tarvesk::core;

namespace {

class StubScriptEngine : public IScriptEngine
{
};

// A factory whose answer the test chooses.
class ScriptedFactory : public IParameterFactory
{
public:
    IParameter* create(const QString& identifier) const override { return make(identifier); }
    std::function<IParameter*(const QString&)> make;
};

// Collects the warnings written while it exists.
class WarningCapture
{
public:
    WarningCapture() { previous = qInstallMessageHandler(&WarningCapture::handle); }
    ~WarningCapture() { qInstallMessageHandler(previous); }
    static inline QStringList warnings;

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        if (type == QtWarningMsg)
            warnings.append(message);
    }
    QtMessageHandler previous = nullptr;
};

std::vector<QString> identifiers(const IProfileTypeParameters& schema)
{
    std::vector<QString> result;
    for (IParameter* p : schema.getList())
        result.push_back(p->getIdentifier());
    return result;
}

} // namespace

TEST(ProfileType, InterfaceTextFromName)
{
    const std::pair<const char*, const char*> rows[] = {
        {"00007f_Caspelink 561_DORVANE_WY", "dorvane"},
        {"00007f_X_DMX", "dmx"},
        {"000102_Dali Driver_DALI", "dali"},
        {"0001a2_Name_Part_DMX", "part_dmx"}, // the name stops at its first "_"
        {"00007f__DALI", "dali"},
        {"00007f_X_", ""},
        {"00007f_X", ""},
        {"0001a2XName_DALI", ""},
        {"ab_c_d", ""},
        {"", ""},
    };
    for (const auto& [name, text] : rows) {
        EXPECT_EQ(ProfileType::getInterfaceTypeFromProfileTypeName(QString::fromUtf8(name)),
            QString::fromUtf8(text))
            << name;
    }
}

TEST(ProfileType, HoldsNameSchemaRecordAndInterface)
{
    auto schema = std::make_shared<ProfileTypeParameters>(nullptr, std::make_shared<ParameterFactory>());
    ProfileType::initMeta();
    ProfileType dali(QStringLiteral("000102_Dali Driver_DALI"), schema, nullptr);
    EXPECT_EQ(dali.getName(), QStringLiteral("000102_Dali Driver_DALI"));
    EXPECT_EQ(dali.getInterfaceTypeString(), QStringLiteral("dali"));
    EXPECT_EQ(dali.getInterfaceType(), ITF_TYPE_DALI);
    EXPECT_EQ(dali.getParameters(), schema);
    EXPECT_EQ(dali.getDeviceInfo(), nullptr);

    EXPECT_EQ(ProfileType(QStringLiteral("00007f_C_DORVANE_WY"), schema, nullptr).getInterfaceType(),
        ITF_TYPE_DORVANE);
    EXPECT_EQ(ProfileType(QStringLiteral("bad"), schema, nullptr).getInterfaceType(), ITF_TYPE_UNKNOWN);
}

TEST(ProfileTypeParameters, OneParameterPerIdentifierInCodeUnitOrder)
{
    ProfileTypeParameters schema(nullptr, std::make_shared<ParameterFactory>());
    Parameter b(QStringLiteral("b"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    Parameter upperB(QStringLiteral("B"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    Parameter a(QStringLiteral("a"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    Parameter a2(QStringLiteral("a"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    Parameter underscore(QStringLiteral("A_x"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    for (Parameter* p : {&b, &upperB, &a, &underscore, &a2})
        schema.addParameter(p);

    EXPECT_EQ(identifiers(schema), (std::vector<QString> {"A_x", "B", "a", "b"}));
    EXPECT_EQ(schema.getParameterInterface(QStringLiteral("a")), &a2) << "the later one replaces the earlier";
    EXPECT_EQ(schema.getParameterInterface(QStringLiteral("A")), nullptr);
    EXPECT_THROW(schema.addParameter(nullptr), ParameterError);
}

TEST(ProfileTypeParameters, AddByNameMakesOwnsAndEquipsTheParameter)
{
    auto engine = std::make_shared<StubScriptEngine>();
    QPointer<QObject> made;
    {
        ProfileTypeParameters schema(engine, std::make_shared<ParameterFactory>());
        IParameter* p = schema.addParameterByName(QStringLiteral("any_script_name"));
        ASSERT_NE(p, nullptr) << "the factory refuses no name";
        EXPECT_EQ(p->getIdentifier(), QStringLiteral("any_script_name"));
        EXPECT_EQ(schema.getParameterInterface(QStringLiteral("any_script_name")), p);
        EXPECT_EQ(static_cast<Parameter*>(p)->getScriptEngine(), engine);
        EXPECT_EQ(p->parent(), &schema);
        made = p;
    }
    EXPECT_TRUE(made.isNull()) << "the schema frees what it made";

    QPointer<Parameter> handed
        = new Parameter(QStringLiteral("x"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    {
        ProfileTypeParameters schema(engine, std::make_shared<ParameterFactory>());
        schema.addParameter(handed);
    }
    ASSERT_FALSE(handed.isNull()) << "a handed-in parameter stays with its owner";
    delete handed.data();
}

TEST(ProfileTypeParameters, FailedMakeGivesNullAndAWarning)
{
    auto factory = std::make_shared<ScriptedFactory>();
    ProfileTypeParameters schema(nullptr, factory);
    Parameter kept(QStringLiteral("kept"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    schema.addParameter(&kept);

    WarningCapture capture;
    WarningCapture::warnings.clear();
    factory->make = [](const QString&) -> IParameter* { throw ParameterError("no such parameter"); };
    EXPECT_EQ(schema.addParameterByName(QStringLiteral("bad")), nullptr);
    factory->make = [](const QString&) -> IParameter* { return nullptr; };
    EXPECT_EQ(schema.addParameterByName(QStringLiteral("empty")), nullptr);
    EXPECT_EQ(WarningCapture::warnings,
        QStringList({QStringLiteral("Error adding parameter bad: no such parameter"),
            QStringLiteral("Error adding parameter empty: the factory made no parameter")}));
    EXPECT_EQ(identifiers(schema), (std::vector<QString> {"kept"}));

    factory->make = [](const QString&) -> IParameter* { throw 42; };
    EXPECT_THROW(schema.addParameterByName(QStringLiteral("odd")), int) << "other exceptions pass through";

    ProfileTypeParameters noFactory(nullptr, nullptr);
    EXPECT_EQ(noFactory.addParameterByName(QStringLiteral("x")), nullptr);
}
