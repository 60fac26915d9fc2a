#include "http_test_client.h"
#include "service_process.h"
#include "wait_until.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::HttpReply;
using qmtest::HttpTestClient;
using qmtest::ServiceProcess;

namespace {

const std::string JsonRpc = "application/json-rpc";

QJsonObject jsonOf(const HttpReply& reply)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
}

// A service running in daemon mode on a free loopback port.
class RunningService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }

    HttpReply post(const std::string& body, const std::string& contentType = JsonRpc)
    {
        HttpTestClient client(port);
        return client.request("POST", "/", {{"Content-Type", contentType}}, body);
    }

    ServiceProcess service;
    int port = 0;
};

} // namespace

TEST(CommandLine, TestModeAndBadArgumentsEndWithTheirCodes)
{
    const struct
    {
        QStringList arguments;
        QVariant httpEnabled; // null: not set
        QVariant httpPort;
        int code;
        const char* standardOutput;
        const char* standardError; // must be contained
    } cases[] = {
        {{"--test"}, {}, {}, 0, "2.66.8-beta.1\n", ""},
        {{"-t", "-d"}, {}, {}, 0, "2.66.8-beta.1\n", ""},
        {{"--test"}, false, {}, 1, "2.66.8-beta.1\n", ""},
        {{"-d"}, false, {}, 1, "", ""}, // HTTP switched off: no event loop either
        {{"--test"}, {}, 0, 1, "2.66.8-beta.1\n", "network/http_port"},
        {{"--test"}, {}, 65536, 1, "2.66.8-beta.1\n", "network/http_port"},
        {{"--test"}, {}, "abc", 1, "2.66.8-beta.1\n", "network/http_port"},
        {{"-p", "abc", "--test"}, {}, {}, 1, "", "Invalid integer value \"abc\""},
        {{"-p", "70000", "--test"}, {}, {}, 1, "", "between 1 and 65535"},
        {{"--port", "0", "--test"}, {}, {}, 1, "", "between 1 and 65535"},
        {{"-p", "-5", "--test"}, {}, {}, 1, "", "between 1 and 65535"},
        {{"--no-such-option"}, {}, {}, 1, "", "no-such-option"},
        {{"--port"}, {}, {}, 1, "", "Missing value after '--port'"},
    };
    for (const auto& c : cases) {
        ServiceProcess service;
        if (!c.httpEnabled.isNull())
            service.setSetting("network/http_enabled", c.httpEnabled);
        if (!c.httpPort.isNull())
            service.setSetting("network/http_port", c.httpPort);
        const QStringList arguments = QStringList {"-l", service.logPath()} + c.arguments;
        const std::string label = c.arguments.join(' ').toStdString();
        ASSERT_TRUE(service.launch(arguments)) << label;
        EXPECT_EQ(service.waitForExit(), c.code) << label << "\n" << service.standardError().toStdString();
        EXPECT_EQ(service.standardOutput().toStdString(), c.standardOutput) << label;
        EXPECT_TRUE(service.standardError().contains(c.standardError))
            << label << ": " << service.standardError().toStdString();
        // Test mode discards every log message after the logger set-up.
        if (c.arguments.contains("--test") || c.arguments.contains("-t")) {
            EXPECT_TRUE(service.log().isEmpty()) << label << ": " << service.log().toStdString();
        }
    }
}

TEST(CommandLine, HelpAndVersionAreAnsweredByTheParser)
{
    ServiceProcess service;
    ASSERT_TRUE(service.launch({"--version"}));
    EXPECT_EQ(service.waitForExit(), 0);
    EXPECT_TRUE(service.standardOutput().contains("2.66.8 (beta.1)"));

    ASSERT_TRUE(service.launch({"--help"}));
    EXPECT_EQ(service.waitForExit(), 0);
    for (const char* text : {"--port <port>", "--log-on <log-on>", "--logpath <log-path>", "--daemon",
             "--test", "The port number of the quinmark server."})
        EXPECT_TRUE(service.standardOutput().contains(text)) << text;
}

TEST_F(RunningService, RoutesAndMethodsGetTheirStatusAndHeaders)
{
    const bool packageBuilt = QFile::exists(QString::fromLocal8Bit(qgetenv("QM_BUILD_DIR")) + "/data.1");
    const struct
    {
        const char* method;
        const char* path;
        int status;
        bool defaultHeaders;
        const char* body; // must be contained; "" for no check
    } cases[] = {
        {"OPTIONS", "/", 200, false, "OPTIONS method."},
        {"OPTIONS", "/debug", 200, false, "OPTIONS method."},
        {"PUT", "/", 406, false, "Go away."},
        {"DELETE", "/debug", 406, false, "Go away."},
        {"get", "/", 406, false, "Go away."},
        {"GET", "/favicon.ico", 404, true, ""},
        {"GET", "/data/no/such/file.html", 404, true, ""},
        {"GET", "/", packageBuilt ? 200 : 404, true, packageBuilt ? "<html" : ""},
        {"HEAD", "/", packageBuilt ? 200 : 404, true, ""},
        {"GET", "/data/css/log.css", packageBuilt ? 200 : 404, true, ""},
        {"GET", "/debug", 200, true, "<title>* DEBUG LOGGER *</title>"},
        {"GET", "/debug/info", 200, true, "<!DOCTYPE html>"},
        {"HEAD", "/debug", 200, true, ""},
    };
    HttpTestClient client(port); // one keep-alive connection for all
    for (const auto& c : cases) {
        const HttpReply reply = client.request(c.method, c.path);
        const std::string label = std::string(c.method) + " " + c.path;
        ASSERT_TRUE(reply.ok) << label;
        EXPECT_EQ(reply.status, c.status) << label;
        EXPECT_NE(reply.body.find(c.body), std::string::npos) << label << ": " << reply.body;
        EXPECT_EQ(reply.header("server") == "Quinmark", c.defaultHeaders) << label;
        if (c.defaultHeaders) {
            EXPECT_EQ(reply.header("access-control-allow-origin"), "*") << label;
            EXPECT_EQ(reply.header("access-control-allow-headers"),
                "Origin, X-Requested-With, Content-Type, Accept");
        }
        if (std::string(c.method) == "OPTIONS") {
            EXPECT_EQ(reply.header("access-control-allow-origin"), "*");
            EXPECT_EQ(reply.header("access-control-allow-headers"), "content-type");
            EXPECT_EQ(reply.header("access-control-allow-methods"), "POST,GET,OPTIONS");
        }
        if (std::string(c.method) == "HEAD") {
            EXPECT_TRUE(reply.body.empty());
        }
    }
}

TEST_F(RunningService, PostsMapContentTypesAndEnvelopesToHttpStatus)
{
    const struct
    {
        std::string contentType;
        std::string body;
        int status;
        int code; // 0: no JSON body expected
    } cases[] = {
        {"application/json", qmtest::rpcBody("system.listMethods"), 403, 0},
        {"text/plain", qmtest::rpcBody("system.listMethods"), 403, 0},
        {"application/json-rpc", "", 500, -32700},
        {"application/json-rpc", "{\"jsonrpc\": \"2.0\", \"id\": 1, ", 500, -32700},
        {"application/json-rpc; charset=utf-8", "{}", 400, -32600},
        {"application/x-www-form-urlencoded", "{\"id\": 1, \"method\": \"system.listMethods\"}", 400, -32600},
        {"application/json-rpc", "[" + qmtest::rpcBody("system.listMethods") + "]", 400, -32600},
        {"application/json-rpc", "{\"jsonrpc\": \"2.0\", \"method\": \"system.listMethods\"}", 400, -32600},
    };
    for (const auto& c : cases) {
        const HttpReply reply = post(c.body, c.contentType);
        const std::string label = c.contentType + " " + c.body;
        ASSERT_TRUE(reply.ok) << label;
        EXPECT_EQ(reply.status, c.status) << label;
        EXPECT_EQ(reply.header("access-control-allow-origin"), "*") << label;
        if (c.code == 0) {
            EXPECT_TRUE(reply.body.empty()) << label;
            continue;
        }
        EXPECT_EQ(reply.header("content-type"), "application/json-rpc") << label;
        EXPECT_EQ(jsonOf(reply).value("error").toObject().value("code").toInt(), c.code) << label;
    }
    // A method that runs answers 200 with its result and the request's id.
    const HttpReply listed = post(qmtest::rpcBody("system.listMethods", "7"));
    EXPECT_EQ(listed.status, 200) << listed.body;
    EXPECT_EQ(jsonOf(listed).value("id").toInt(), 7);
    EXPECT_TRUE(jsonOf(listed).value("result").toArray().contains("system.listMethods")) << listed.body;
    // A method that fails (here: unknown) is a 500 carrying the server's error.
    const HttpReply failed = post(qmtest::rpcBody("no.such.method", "\"x\""));
    EXPECT_EQ(failed.status, 500);
    EXPECT_LT(jsonOf(failed).value("error").toObject().value("code").toInt(), 0);
    EXPECT_EQ(jsonOf(failed).value("id").toString(), "x");
}

TEST_F(RunningService, DebugPageEscapesPlantedMarkup)
{
    // A refused content type is logged with the client's text in it.
    ASSERT_EQ(post(qmtest::rpcBody("x"), "<script>alert('planted')</script>").status, 403);
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return service.log().contains("alert('planted')"); }, 10000));
    HttpTestClient client(port);
    const HttpReply page = client.request("GET", "/debug");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(page.body.find("<script>"), std::string::npos);
    EXPECT_NE(page.body.find("&lt;script&gt;alert('planted')&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.body.find("href=\"/data/css/log.css\""), std::string::npos);
}

TEST_F(RunningService, ASecondInstanceOnTheSamePortEndsWithOne)
{
    ServiceProcess second;
    ASSERT_TRUE(second.launch({"-d", "-p", QString::number(port), "-l", second.logPath()}));
    EXPECT_EQ(second.waitForExit(), 1);
    EXPECT_TRUE(
        second.log().contains(QString("Application will stop as port  %1  is already in use!").arg(port)))
        << second.log().toStdString();
    // What README tells a reader who starts the service twice.
    EXPECT_TRUE(second.standardError().contains(QString("Failed to bind to port %1").arg(port)))
        << second.standardError().toStdString();
    HttpTestClient client(port); // the first one still serves
    EXPECT_EQ(client.request("GET", "/debug").status, 200);
}

TEST(Settings, HttpPortSettingChoosesTheServedPortAndLogsIt)
{
    ServiceProcess service;
    const int commandLinePort = qmtest::freeLoopbackPort();
    const int settingPort = qmtest::freeLoopbackPort();
    ASSERT_NE(commandLinePort, settingPort);
    service.setSetting("network/http_port", settingPort);
    ASSERT_TRUE(service.startServing(settingPort, {"-d", "-p", QString::number(commandLinePort)}))
        << service.standardError().toStdString();
    EXPECT_FALSE(qmtest::portAcceptsConnections(commandLinePort));
    const QString started = QString("HTTP started at port  %1 . running status:  true").arg(settingPort);
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return service.log().contains(started); }, 10000))
        << service.log().toStdString();
}

TEST(Settings, LogOnValueSwitchesTheLogFile)
{
    const struct
    {
        const char* value;
        bool logFile;
    } cases[] = {{"false", false}, {"FALSE", false}, {"0", false}, {"", false}, {"no", true}, {"true", true}};
    for (const auto& c : cases) {
        ServiceProcess service;
        const int port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d", "-w", c.value})) << c.value;
        HttpTestClient client(port);
        // Without a log file the debug page has nothing to show.
        EXPECT_EQ(client.request("GET", "/debug").status, c.logFile ? 200 : 404) << c.value;
        EXPECT_EQ(QFile::exists(service.logPath()), c.logFile) << c.value;
    }
}

TEST(Desktop, TrayModeWithoutADesktopRunsHeadless)
{
    ServiceProcess service;
    service.environment().remove("QT_QPA_PLATFORM");
    service.environment().remove("DISPLAY");
    service.environment().remove("WAYLAND_DISPLAY");
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port)) << service.standardError().toStdString();
    HttpTestClient client(port);
    EXPECT_EQ(client.request("GET", "/debug").status, 200);
}

TEST(Settings, DefaultLogFileIsInTheServicesDataFolder)
{
    // The same folder in every pass of the restart loop: the first pass already
    // knows the service's name.
    ServiceProcess service;
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.launch({"-d", "-p", QString::number(port)}));
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return qmtest::portAcceptsConnections(port); }, 60000));
    const QString expected = service.folder() + "/data/Tarvesk/Quinmark Server/log/debug.txt";
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return QFile::exists(expected); }, 10000));
    HttpTestClient client(port);
    EXPECT_EQ(client.request("GET", "/debug").status, 200);
}
