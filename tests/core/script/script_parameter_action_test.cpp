#include "core/core_errors.h"
#include "core/database/device_info_record.h"
#include "core/file/ifile_loader.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/script_engine.h"
#include "core/script/script_parameter_read_action.h"
#include "core/script/script_parameter_write_action.h"
#include "plain_device.h"

#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarvesk::core;

namespace {

// Each feature adds one parameter named after it with the callbacks below.
const char* const library = R"JS(
var CALLBACKS = {
    reads: [function (device, parameter) { parameter.actualValue = 7; return 0; }, null],
    failsToRead: [function () { return -6; }, null],
    throwsOnRead: [function () { throw new Error("bus gone"); }, null],
    writes: [null, function (device, parameter, value) {
        parameter.displayName = typeof value + " " + value + " on " + device.product_id;
        return 0;
    }],
    throwsOnWrite: [null, function () { throw new Error("refused"); }],
    loopsOnRead: [function () { while (true) { } }, null],
    plain: [null, null]
};
function enableFeature(parameters, record, name) {
    var p = parameters.addParameterByName(name);
    if (CALLBACKS[name][0]) p.getCallback = CALLBACKS[name][0];
    if (CALLBACKS[name][1]) p.setCallback = CALLBACKS[name][1];
    return true;
}
)JS";

class Library : public IFileLoader
{
public:
    QByteArray loadFile(const std::string& name) const override
    {
        return name == "data/product_database/functions.js" ? QByteArray(library) : QByteArray();
    }
};

class ScriptActionTest : public ::testing::Test
{
protected:
    ScriptActionTest()
        : engine(std::make_shared<ScriptEngine>(std::make_shared<Library>(), nullptr))
        , schema(engine, std::make_shared<ParameterFactory>())
        , record(QJsonObject(), 0, 0, 1, 1, "P")
        , device(nullptr, "driver")
        , read(&device)
        , write(&device)
    {
        Parameter::initMeta();
        engine->setTimeBudget(std::chrono::milliseconds(200));
    }

    Parameter* scripted(const std::string& name)
    {
        engine->enableFeature(&schema, &record, name);
        return dynamic_cast<Parameter*>(schema.getParameterInterface(QString::fromStdString(name)));
    }

    template <typename Action> std::string errorOf(Action& action, IParameter* p, const QVariant& value)
    {
        try {
            action.execute(p, value);
        } catch (const ParameterError& e) {
            return e.what();
        }
        return "<no error>";
    }

    std::shared_ptr<ScriptEngine> engine;
    ProfileTypeParameters schema;
    DeviceInfoRecord record;
    tarvesk::test::PlainDevice device;
    ScriptParameterReadAction read;
    ScriptParameterWriteAction write;
};

} // namespace

TEST_F(ScriptActionTest, ReadRunsTheGetCallbackAndReportsItsStatus)
{
    EXPECT_EQ(read.getName(), "script_read");
    Parameter* p = scripted("reads");
    EXPECT_EQ(read.execute(p, QVariant(99)), 0); // the value handed in is not used
    EXPECT_EQ(p->getActualValue().toInt(), 7);
    EXPECT_EQ(read.execute(scripted("failsToRead"), QVariant()), -6);
    EXPECT_EQ(
        errorOf(read, scripted("throwsOnRead"), QVariant()), "Error in script callback:Error: bus gone");
    EXPECT_EQ(errorOf(read, scripted("plain"), QVariant()), "No script callback set for the get action");
    EXPECT_EQ(errorOf(read, nullptr, QVariant()), "No script callback set for the get action");
    const std::string loop = errorOf(read, scripted("loopsOnRead"), QVariant());
    EXPECT_NE(loop.find("time budget"), std::string::npos) << loop;
    EXPECT_EQ(read.execute(scripted("reads"), QVariant()), 0);
}

TEST_F(ScriptActionTest, WritePassesTheConvertedValueWithTheDevice)
{
    EXPECT_EQ(write.getName(), "script_write");
    Parameter* p = scripted("writes");
    const std::pair<QVariant, QString> values[]
        = {{QVariant(5), "number 5"}, {QVariant(5u), "number 5"}, {QVariant(2.5), "number 2.5"},
            {QVariant(true), "boolean true"}, {QVariant(QString("x")), "string x"}};
    for (const auto& [value, text] : values) {
        EXPECT_EQ(write.execute(p, value), 0);
        EXPECT_EQ(p->getDisplayName(), text + " on 0");
    }
    EXPECT_EQ(
        errorOf(write, p, QVariant(qlonglong(5))), "Trying to convert unknown QVariant type 'qlonglong'");
    EXPECT_EQ(errorOf(write, p, QVariant()), "Trying to convert unknown QVariant type 'invalid'");
    EXPECT_EQ(errorOf(write, scripted("throwsOnWrite"), QVariant(1)), "Error in script callback");
    EXPECT_EQ(errorOf(write, scripted("plain"), QVariant(1)), "No script callback set for the set action");
}
