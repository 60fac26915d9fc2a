#include "core/core_errors.h"
#include "core/database/device_info_record.h"
#include "core/file/ifile_loader.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/script_engine.h"
#include "core/script/script_feature_loader.h"
#include "protocol/dali/dali_lookup_table.h"

#include <QFile>
#include <QJSEngine>
#include <QJsonObject>
#include <QPointer>
#include <QQmlEngine>
#include <gtest/gtest.h>
#include <map>

using namespace tarvesk::core;

namespace {

// Library files from memory; tests edit them between calls.
class MemoryFileLoader : public IFileLoader
{
public:
    QByteArray loadFile(const std::string& name) const override
    {
        const auto it = files.find(name);
        if (it == files.end())
            throw FileError("File not found in package: " + name);
        return it->second;
    }
    std::map<std::string, QByteArray> files;
};

const char* const featureFunctions = R"JS(
var FEATURES = {
    adds: function (parameters, record, name) {
        var p = parameters.addParameterByName("script_current");
        p.displayName = "Current";
        p.group = "Output";
        p.setParameterTypeEnum("PARAM_TYPE_NUMBER");
        p.setParameterUnitEnum("PARAM_UNIT_MILLIAMPERE");
        p.minValue = 100;
        p.maxValue = record.getAttribute("max_current");
        p.address = 81;
        p.rawInterface = "presmonde";
        p.getCallback = function (device, parameter) { parameter.actualValue = 42; return 0; };
        var again = parameters.getParameterInterface("script_current");
        again.addTag(record.hasAttribute("missing") ? "wrong" : "product " + record.getProductId());
        p.addTag("dali " + dali_lookup_table.getCommand("QUERY_STATUS"));
        return true;
    },
    refuses: function () { return false; },
    throws: function () { throw new Error("boom"); },
    throwsText: function () { throw "plain text"; },
    silent: function () { },
    badInvokable: function (parameters) {
        var p = parameters.addParameterByName("bad_type");
        p.setParameterTypeEnum("PARAM_TYPE_BOGUS");
        return true;
    },
    caughtInvokable: function (parameters) {
        var p = parameters.addParameterByName("caught");
        try {
            p.setResolutionEnum("ITF_RES_NIBBLE");
        } catch (e) {
            p.displayName = "caught: " + e.message;
        }
        return true;
    },
    badProperty: function (parameters) {
        parameters.addParameterByName("bad_scale").parameterScale = NaN;
        return true;
    },
    churn: function (parameters) {
        // Every object a script is handed gets a proxy of its own: many short-
        // lived proxies, collected while later ones are made and looked up.
        var kept = parameters.addParameterByName("churn");
        kept.displayName = "Churn";
        for (var i = 0; i < 50000; ++i) {
            var again = parameters.getParameterInterface("churn");
            if (i % 1000 === 0)
                kept.addTag("round " + i);
        }
        return again.displayName === "Churn";
    },
    endless: function () { while (true) { } },
    stubborn: function () { while (true) { try { while (true) { } } catch (e) { } } }
};
function enableFeature(parameters, record, name) {
    var f = FEATURES[name];
    return f === undefined ? false : f(parameters, record, name);
}
)JS";

// A budget no ordinary script here runs into however slow the machine (one
// under ThreadSanitizer beside CPU hogs); the tests of the budget itself set a
// short one around the endless scripts alone.
constexpr std::chrono::milliseconds OrdinaryBudget = std::chrono::minutes(5);
constexpr std::chrono::milliseconds ShortBudget {200};

class ScriptEngineTest : public ::testing::Test
{
protected:
    ScriptEngineTest()
        : loader(std::make_shared<MemoryFileLoader>())
        , table(std::make_shared<tarvesk::proto::DaliLookupTable>())
        , engine(std::make_shared<ScriptEngine>(loader, table))
        , schema(engine, std::make_shared<ParameterFactory>())
        , record(QJsonObject {{"max_current", 700}}, 0, 1, 16, 1, "K3408")
    {
        Parameter::initMeta();
        loader->files["data/product_database/constants.js"] = "var CONSTANT = 1;";
        loader->files["data/product_database/error.js"] = "function E() {}";
        loader->files["data/product_database/functions.js"] = featureFunctions;
        table->initFromJsonData(R"({"DaliCommandLUT": [{"Value": 144, "Name": "QUERY_STATUS"}],
            "DaliSpecialCommandLUT": [], "DaliDT1CommandLUT": [], "DaliDT6CommandLUT": [],
            "DaliDT8CommandLUT": [], "DaliDT17CommandLUT": []})");
        engine->setTimeBudget(OrdinaryBudget);
    }

    std::string failureOf(const std::string& feature)
    {
        try {
            engine->enableFeature(&schema, &record, feature);
        } catch (const ScriptError& e) {
            return e.what();
        }
        return "<success>";
    }

    Parameter* parameter(const QString& id)
    {
        return dynamic_cast<Parameter*>(schema.getParameterInterface(id));
    }

    std::shared_ptr<MemoryFileLoader> loader;
    std::shared_ptr<tarvesk::proto::DaliLookupTable> table;
    std::shared_ptr<ScriptEngine> engine;
    ProfileTypeParameters schema;
    DeviceInfoRecord record;
};

} // namespace

TEST_F(ScriptEngineTest, AFeatureScriptDefinesParametersThroughTheScriptVisibleObjects)
{
    EXPECT_FALSE(engine->isJavaScriptEngineInitialized());
    EXPECT_EQ(failureOf("adds"), "<success>");
    EXPECT_TRUE(engine->isJavaScriptLibraryInitialized());
    Parameter* p = parameter("script_current");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->getDisplayName(), "Current");
    EXPECT_EQ(p->getGroup(), "Output");
    EXPECT_EQ(p->getUnit(), PARAM_UNIT_MILLIAMPERE);
    EXPECT_EQ(p->getMinValue().toInt(), 100);
    EXPECT_EQ(p->getMaxValue().toInt(), 700);
    EXPECT_EQ(p->getAddress(), 81);
    EXPECT_EQ(p->getRawInterfaceIdentifier(), "presmonde");
    EXPECT_EQ(p->getTags(), QStringList({"product 16", "dali 144"}));
    EXPECT_TRUE(p->getScriptGetCallback().isCallable());
    EXPECT_EQ(p->getScriptEngine(), engine);

    // The callback it stored runs later with system objects as arguments.
    const QJSValue result = engine->callFunction(
        p->getScriptGetCallback(), {engine->createOwnedArgument(p), engine->createOwnedArgument(p)});
    EXPECT_EQ(result.toInt(), 0);
    EXPECT_EQ(p->getActualValue().toInt(), 42);
}

// Proxies come and go by the thousand in a long pass; the garbage collector
// must never leave the engine holding one it freed.
TEST_F(ScriptEngineTest, ManyShortLivedProxiesSurviveGarbageCollection)
{
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_EQ(failureOf("churn"), "<success>") << pass;
    EXPECT_EQ(parameter("churn")->getTags().size(), 50);
}

TEST_F(ScriptEngineTest, TheResultOfEnableFeatureDecides)
{
    EXPECT_EQ(failureOf("silent"), "<success>");
    EXPECT_EQ(failureOf("refuses"), "Error enabling feature 'refuses' for profile : false");
    EXPECT_EQ(failureOf("unknown"), "Error enabling feature 'unknown' for profile : false");
    const std::string thrown = failureOf("throws");
    EXPECT_EQ(thrown.rfind("Error enabling feature 'throws' for profile : Error: boom\n", 0), 0u) << thrown;
    EXPECT_NE(thrown.find(" : "), std::string::npos);
    const std::string text = failureOf("throwsText");
    EXPECT_NE(text.find("plain text"), std::string::npos) << text;
}

TEST_F(ScriptEngineTest, AFailingInvokableBecomesAScriptErrorAndTheEngineStaysUsable)
{
    const std::string failure = failureOf("badInvokable");
    EXPECT_NE(failure.find("Parameter type \"PARAM_TYPE_BOGUS\" undefined"), std::string::npos) << failure;
    EXPECT_NE(failure.find("setParameterTypeEnum"), std::string::npos) << failure;

    EXPECT_EQ(failureOf("caughtInvokable"), "<success>");
    ASSERT_TRUE(parameter("caught"));
    EXPECT_TRUE(parameter("caught")->getDisplayName().contains("Resolution \"ITF_RES_NIBBLE\" undefined"))
        << parameter("caught")->getDisplayName().toStdString();

    const std::string property = failureOf("badProperty");
    EXPECT_NE(property.find("is not a finite number"), std::string::npos) << property;

    EXPECT_EQ(failureOf("adds"), "<success>");
}

TEST_F(ScriptEngineTest, AnEndlessLoopIsStoppedByTheTimeBudget)
{
    for (const char* feature : {"endless", "stubborn"}) {
        engine->setTimeBudget(ShortBudget);
        EXPECT_EQ(failureOf(feature), "Script stopped after its time budget of 200 ms") << feature;
        engine->setTimeBudget(OrdinaryBudget);
        EXPECT_EQ(failureOf("adds"), "<success>") << "after " << feature;
    }
}

TEST_F(ScriptEngineTest, LibraryFaultsAreReportedAndRetried)
{
    loader->files["data/product_database/error.js"] = "function (";
    const std::string syntax = failureOf("silent");
    EXPECT_EQ(syntax.rfind("invalid js file format \"data/product_database/error.js\": SyntaxError", 0), 0u)
        << syntax;
    loader->files["data/product_database/error.js"] = "while (true) { }";
    engine->setTimeBudget(ShortBudget);
    EXPECT_EQ(failureOf("silent"), "Script stopped after its time budget of 200 ms");
    engine->setTimeBudget(OrdinaryBudget);
    loader->files["data/product_database/error.js"] = "function E() {}";
    EXPECT_EQ(failureOf("silent"), "<success>"); // the next call loads the whole library again

    auto other = std::make_shared<ScriptEngine>(loader, table);
    loader->files["data/product_database/functions.js"] = "var enableFeature = 3;";
    for (int i = 0; i < 2; ++i) {
        try {
            other->enableFeature(&schema, &record, "silent");
            ADD_FAILURE();
        } catch (const ScriptError& e) {
            EXPECT_STREQ(
                e.what(), "Javascript \"enableFeature\" function in \"functions.js\" is not callable");
        }
    }
    loader->files.erase("data/product_database/constants.js");
    EXPECT_THROW(
        std::make_shared<ScriptEngine>(loader, table)->enableFeature(&schema, &record, "silent"), FileError);
}

TEST_F(ScriptEngineTest, OwnedArgumentsStayTheSystems)
{
    EXPECT_THROW(engine->createOwnedArgument(nullptr), ScriptError);
    QObject object; // no parent: the script engine would take it over by default
    EXPECT_FALSE(engine->createOwnedArgument(&object).isUndefined());
    EXPECT_EQ(QQmlEngine::objectOwnership(&object), QQmlEngine::CppOwnership);
}

TEST_F(ScriptEngineTest, ScriptFeatureLoaderTurnsScriptErrorsIntoFeatureErrors)
{
    ScriptFeatureLoader scripted(engine);
    EXPECT_NO_THROW(scripted.loadFeature(&schema, &record, "silent"));
    try {
        scripted.loadFeature(&schema, &record, "refuses");
        ADD_FAILURE();
    } catch (const FeatureError& e) {
        EXPECT_STREQ(e.what(), "Error enabling feature 'refuses' for profile : false");
    }
    try {
        ScriptFeatureLoader(nullptr).loadFeature(&schema, &record, "silent");
        ADD_FAILURE();
    } catch (const FeatureError& e) {
        EXPECT_STREQ(e.what(), "ScriptFeatureLoader: ScriptEngine not defined");
    }
}
