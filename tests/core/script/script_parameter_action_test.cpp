#include "core/core_errors.h"
#include "core/database/device_info_record.h"
#include "core/file/ifile_loader.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/script_engine.h"
#include "core/script/script_parameter_read_action.h"
#include "core/script/script_parameter_write_action.h"
#include "log_capture.h"
#include "plain_device.h"

#include <QJSEngine>
#include <QJsonObject>
#include <QLoggingCategory>
#include <gtest/gtest.h>
#include <thread>

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
    plain: [null, null],
    // As the data package's callbacks do: objects handed on, properties and
    // methods of the device and the parameter.
    touches: [function (device, parameter) {
        var same = device.getParameterInterface(parameter.displayName);
        parameter.actualValue = parameter.address + device.version + (same === null ? 0 : 1);
        return parameter.getStringValue() === "" ? -1 : 0;
    }, function (device, parameter, value) {
        parameter.setValue(value, parameter.getUpdateEnum("UPDATE_NO"));
        parameter.displayName = "set " + parameter.getScaledValue() + device.readUniqueIdString();
        return 0;
    }]
};
function enableFeature(parameters, record, name) {
    var callbacks = CALLBACKS[name.split("_")[0]];
    var p = parameters.addParameterByName(name);
    if (callbacks[0]) p.getCallback = callbacks[0];
    if (callbacks[1]) p.setCallback = callbacks[1];
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
        // No ordinary callback runs into it however slow the machine; the
        // endless one gets a short budget of its own.
        engine->setTimeBudget(std::chrono::minutes(5));
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

// What the script heap holds after a full collection: the objects still
// reachable and the bytes they take, as the engine's collector reports them
// (Qt's log category "qt.qml.gc.allocatorStats"). The category is on while
// this lives; an engine reads it when it is made.
class ScriptHeap
{
public:
    struct Held
    {
        qint64 objects = -1;
        qint64 bytes = -1;
    };

    ScriptHeap() { QLoggingCategory::setFilterRules(QStringLiteral("qt.qml.gc.allocatorStats.debug=true")); }
    ~ScriptHeap() { QLoggingCategory::setFilterRules(QString()); }

    Held afterCollection(QJSEngine* engine)
    {
        _log.clear();
        engine->collectGarbage();
        Held held;
        const QString used = QStringLiteral("Used memory after GC:");
        for (const QString& message : _log.messages()) {
            if (message.endsWith(QStringLiteral(" objects marked")))
                held.objects
                    = message.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toLongLong();
            else if (message.startsWith(used))
                held.bytes = message.mid(used.size()).trimmed().toLongLong();
        }
        return held;
    }

private:
    tarvesk::test::LogCapture _log;
};

// Runs the work on a thread of its own, as a request runs on the thread of
// its connection.
template <typename Work> void onNewThread(Work work)
{
    // What escapes the work fails the test instead of ending the process.
    std::thread([&work] {
        try {
            work();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "thrown on the request's thread: " << e.what();
        }
    }).join();
}

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
    Parameter* loops = scripted("loopsOnRead");
    engine->setTimeBudget(std::chrono::milliseconds(200));
    const std::string loop = errorOf(read, loops, QVariant());
    engine->setTimeBudget(std::chrono::minutes(5));
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

// Every request runs on a new connection thread, none of them the one that made
// the engine. Whatever a scripted read, write or list leaves behind would stay
// in the script heap; after a full collection it must not grow with the calls.
TEST_F(ScriptActionTest, ScriptedAccessKeepsNothingPerCall)
{
    ScriptHeap heap;
    std::vector<Parameter*> parameters;
    onNewThread([&] {
        for (const char* name : {"touches_1", "touches_2", "touches_3", "touches_4"})
            parameters.push_back(scripted(name));
    });
    QJSEngine* js = qjsEngine(parameters.front());
    ASSERT_TRUE(js);
    auto calls = [&](int count) {
        for (int n = 0; n < count; ++n) {
            onNewThread([&] {
                ASSERT_EQ(read.execute(parameters.front(), QVariant()), 0);
                ASSERT_EQ(write.execute(parameters.front(), QVariant(n)), 0);
                for (Parameter* p : parameters) // a list reads every parameter
                    ASSERT_EQ(read.execute(p, QVariant()), 0);
            });
        }
    };
    calls(20); // the engine's own first allocations settle
    const ScriptHeap::Held settled = heap.afterCollection(js);
    ASSERT_GT(settled.objects, 0) << "the engine reported no heap statistics";
    ASSERT_GT(settled.bytes, 0) << "the engine reported no heap statistics";
    calls(300);
    const ScriptHeap::Held after = heap.afterCollection(js);
    // Each call makes dozens of script objects (proxies, argument lists,
    // results); one that kept them would keep them by the hundred.
    EXPECT_LT(after.objects - settled.objects, 300) << settled.objects << " objects, then " << after.objects;
    EXPECT_LT(after.bytes - settled.bytes, 300 * 64) << settled.bytes << " bytes, then " << after.bytes;
    EXPECT_EQ(parameters.front()->getDisplayName(), "set 299");
}
