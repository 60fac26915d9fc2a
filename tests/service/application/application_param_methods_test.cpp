#include "core/file/application_data_folder.h"
#include "fake_product_database.h"
#include "log_capture.h"
#include "method_call.h"
#include "qt_printers.h"
#include "service/database/abstract_database.h"
#include "service/rpc/rpc_methods/application/rpc_application_param_get.h"
#include "service/rpc/rpc_methods/application/rpc_application_param_list.h"
#include "service/rpc/rpc_methods/application/rpc_application_param_set.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

class ApplicationParamMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AbstractRpcMethod::setDatabase(std::make_shared<test::FakeProductDatabase>(true));
        name = QCoreApplication::applicationName();
        version = QCoreApplication::applicationVersion();
        QCoreApplication::setApplicationName(QStringLiteral("Quinmark Server"));
        QCoreApplication::setOrganizationName(QStringLiteral("Tarvesk"));
        QCoreApplication::setOrganizationDomain(QStringLiteral("tarvesk.example"));
    }
    void TearDown() override
    {
        QCoreApplication::setApplicationName(name);
        QCoreApplication::setApplicationVersion(version);
        AbstractRpcMethod::setDatabase(nullptr);
        core::ApplicationDataFolder::release();
    }

    test::MethodOutcome call(const char* method, const char* params)
    {
        AbstractRpcMethod* m = method == QLatin1String("list") ? static_cast<AbstractRpcMethod*>(&list)
            : method == QLatin1String("get")                   ? static_cast<AbstractRpcMethod*>(&get)
                                                               : static_cast<AbstractRpcMethod*>(&set);
        return params ? test::callMethod(*m, QString::fromUtf8(params)) : test::callMethodWith(*m, QString());
    }

    // Compact JSON text of any value.
    static QString text(const QJsonValue& value)
    {
        const QString wrapped
            = QString::fromUtf8(QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact));
        return wrapped.mid(1, wrapped.size() - 2);
    }

    RpcApplicationParamList list;
    RpcApplicationParamGet get;
    RpcApplicationParamSet set;
    QString name;
    QString version;
};

} // namespace

// What list, get and set answer for each version text, with every error's
// code and message as the client reads it.
TEST_F(ApplicationParamMethods, AnswerForEachVersionText)
{
    const struct
    {
        const char* version; // set before the call
        const char* method;  // "list", "get", "set"
        const char* params;  // null: no params member
        int code;
        const char* expected; // the result as compact JSON, or the error message
    } cases[] = {
        {"2.66.8 (beta.1)", "get", R"({"pid":"rc_number"})", 0, R"({"pid":"rc_number","value":8})"},
        {"2.66.8 (beta.1)", "get", R"({"pid":"major_version_number"})", 0,
            R"({"pid":"major_version_number","value":2})"},
        {"2.66.8 (beta.1)", "get", R"({"pid":"Minor_Version_Number"})", 0,
            R"({"pid":"Minor_Version_Number","value":66})"},
        {"2.66.8 (beta.1)", "get", R"({"pid":"Version"})", 0,
            R"j({"pid":"Version","value":"2.66.8 (beta.1)"})j"},
        {"2.66.8 (beta.1)", "get", R"({"pid":"NAME"})", 0, R"({"pid":"NAME","value":"Quinmark Server"})"},
        {"2.66.8 (beta.1)", "get", R"({"pid":"application_name"})", 0,
            R"({"pid":"application_name","value":"Quinmark Server"})"},
        {"2.66.8 (beta.1)", "get", R"({"pid":"organization_name"})", -32602,
            "Error executing method application.param.get: invalid application parameter: "
            "'organization_name'"},
        {"2.66.8 (beta.1)", "get", R"({})", -32602,
            "Error executing method application.param.get: Parameter 'pid' required for method "
            "application.param.get"},
        {"2.66.8 (beta.1)", "set", R"({"pid":"application_name","value":"x"})", -32602,
            "Error executing method application.param.set: invalid application parameter: application_name"},
        {"2.66.8 (beta.1)", "set", R"({"pid":"name"})", -32602,
            "Error executing method application.param.set: Parameter 'value' required for method "
            "application.param.set"},
        {"2.66.8 (beta.1)", "list", R"({"all":true})", -32602,
            "Error executing method application.param.list: Method application.param.list does not accept "
            "parameters. remove params from request application.param.list"},
        {"3.1", "list", nullptr, -32603,
            "Error executing method application.param.list: Invalid version format: '3.1'. required format "
            "xx.yy.zz"},
        {"3.1", "get", R"({"pid":"major_version_number"})", -32603,
            "Error executing method application.param.get: Invalid application version format: 3.1. expected "
            "'<major>.<minor>.<patch>'"},
        {"3.1", "get", R"({"pid":"version"})", 0, R"({"pid":"version","value":"3.1"})"},
        {"1.2.rc7", "get", R"({"pid":"rc_number"})", 0, R"({"pid":"rc_number","value":7})"},
        {"1.2.rc7", "list", nullptr, -32603,
            "Error executing method application.param.list: Could not parse version string, invalid format: "
            "1.2.rc7. Version value must be an integer"},
        {"x1.2.3", "get", R"({"pid":"major_version_number"})", -32603,
            "Error executing method application.param.get: 'major_version_number' must be an integer. "
            "Invalid "
            "application version string 'x1.2.3'."},
        {"1.2.beta", "get", R"({"pid":"rc_number"})", -32603,
            "Error executing method application.param.get: Error while trying to get 'rc_number'. Could not "
            "parse '1.2.beta"},
        {"1.2.99999999999", "get", R"({"pid":"rc_number"})", -32603,
            "Error executing method application.param.get: 'rc_number' must be an integer. Invalid "
            "application "
            "version string '1.2.99999999999'."},
        {"1.2.3 (rc.4)", "list", nullptr, 0,
            R"([{"pid":"application_name","value":"Quinmark Server"},)"
            R"j({"pid":"application_version_string","value":"1.2.3 (rc.4)"},)j"
            R"({"pid":"organization_name","value":"Tarvesk"},)"
            R"({"pid":"organization_domain","value":"tarvesk.example"},)"
            R"({"deprecated":true,"pid":"major_version_number","value":1},)"
            R"({"deprecated":true,"pid":"minor_version_number","value":2},)"
            R"({"deprecated":true,"pid":"rc_number","value":3}])"},
        {"", "list", nullptr, 0,
            R"([{"pid":"application_name","value":"Quinmark Server"},)"
            R"({"pid":"application_version_string","value":""},)"
            R"({"pid":"organization_name","value":"Tarvesk"},)"
            R"({"pid":"organization_domain","value":"tarvesk.example"}])"},
    };
    for (const auto& c : cases) {
        QCoreApplication::setApplicationVersion(QString::fromUtf8(c.version));
        test::LogCapture log;
        const test::MethodOutcome outcome = call(c.method, c.params);
        const std::string where = std::string(c.version) + " " + c.method + " " + (c.params ? c.params : "");
        EXPECT_EQ(outcome.code, c.code) << where << ": " << outcome.message.toStdString();
        // Errors end in their source location ("  @ file: line").
        const QString answer
            = c.code ? outcome.message.section(QStringLiteral("  @ "), 0, 0) : text(outcome.result);
        EXPECT_EQ(answer.toStdString(), c.expected) << where;
        EXPECT_EQ(
            log.hasWarningContaining(QStringLiteral("Version parameters not added")), c.version[0] == '\0')
            << where;
        // A refused request changes nothing.
        EXPECT_EQ(QCoreApplication::applicationVersion(), QString::fromUtf8(c.version)) << where;
        EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quinmark Server")) << where;
    }
}

TEST_F(ApplicationParamMethods, SetValuesAreWhatListAndGetReportLater)
{
    QCoreApplication::setApplicationVersion(QStringLiteral("2.66.8 (beta.1)"));
    const struct
    {
        const char* params;
        const char* reply;
        const char* getPid;
        const char* got;
    } cases[] = {
        {R"({"pid":"application_version_string","value":7.25})",
            R"({"name":"application_version_string","value":7.25})", "version", R"("7.25")"},
        {R"({"pid":"Version","value":"4.5.6"})", R"({"name":"Version","value":"4.5.6"})", "rc_number", "6"},
        {R"({"pid":"NAME","value":"Station"})", R"({"name":"NAME","value":"Station"})", "name",
            R"("Station")"},
    };
    for (const auto& c : cases) {
        const test::MethodOutcome outcome = call("set", c.params);
        EXPECT_EQ(outcome.code, 0) << c.params << outcome.message.toStdString();
        EXPECT_EQ(text(outcome.result), QString::fromUtf8(c.reply)) << c.params;
        const test::MethodOutcome read = call(
            "get", QStringLiteral(R"({"pid":"%1"})").arg(QLatin1String(c.getPid)).toUtf8().constData());
        EXPECT_EQ(text(read.result.toObject().value("value")), QString::fromUtf8(c.got)) << c.params;
    }
    const QJsonArray listed = call("list", nullptr).result.toArray();
    ASSERT_EQ(listed.size(), 7) << text(listed).toStdString();
    EXPECT_EQ(listed[0].toObject().value("value"), "Station");
    EXPECT_EQ(listed[1].toObject().value("value"), "4.5.6");
    EXPECT_EQ(listed[5].toObject().value("value"), 5);
}

// The application's name names its data folder on this platform; a name a
// client sets must not move where the service keeps its files.
TEST_F(ApplicationParamMethods, NewNameMovesNoFiles)
{
    core::ApplicationDataFolder::fixForThisPass();
    const QString folder = core::ApplicationDataFolder::path();
    ASSERT_FALSE(folder.isEmpty());
    for (const char* name : {"../../x", "", "Other"}) {
        const test::MethodOutcome outcome = call("set",
            QStringLiteral(R"({"pid":"name","value":"%1"})").arg(QLatin1String(name)).toUtf8().constData());
        ASSERT_EQ(outcome.code, 0) << name;
        if (*name) { // the framework answers the program's name for an empty one
            EXPECT_EQ(QCoreApplication::applicationName(), QLatin1String(name));
        }
        EXPECT_EQ(core::ApplicationDataFolder::path(), folder) << name;
        EXPECT_EQ(AbstractDatabase::firmwareCachePath(), folder) << name;
    }
}
