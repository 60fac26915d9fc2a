#include "http_test_client.h"
#include "service_process.h"
#include "wait_until.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdio>

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
        // The log pages are those four paths; one that merely holds "/debug" is not found.
        {"GET", "/debug/", 404, true, ""},
        {"GET", "/debug/INFO", 404, true, ""},
        {"GET", "/debug/info/x", 404, true, ""},
        {"GET", "/x/debug", 404, true, ""},
        {"GET", "//debug", 404, true, ""},
        {"GET", "//debug/info", 404, true, ""},
        {"GET", "/debug%00/../x", 404, true, ""},
        {"GET", "/debug/x/../info", 404, true, ""},
        {"HEAD", "/debug/", 404, true, ""},
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

// HTTP/1.1 lets a request say where its body ends one way only; a request
// that says it two ways, or by a transfer coding other than chunked alone, is
// refused at once (before its body is read), its connection closed, and its
// method not run.
TEST_F(RunningService, RequestsFramingTheirBodyTwoWaysAreRefusedWith400)
{
    const std::string body = qmtest::rpcBody("system.listMethods");
    const std::string size = std::to_string(body.size());
    const std::string chunked = [&] {
        char head[16];
        std::snprintf(head, sizeof head, "%zx\r\n", body.size());
        return head + body + "\r\n0\r\n\r\n";
    }();
    const std::string start = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json-rpc\r\n";
    const struct
    {
        const char* shape;
        std::string headers;
        std::string body;
        int status;
    } cases[] = {
        {"two different lengths", "Content-Length: " + size + "\r\nContent-Length: 5\r\n", body, 400},
        {"two different lengths, the shorter first", "Content-Length: 5\r\nContent-Length: " + size + "\r\n",
            body, 400},
        {"a list of two lengths", "Content-Length: " + size + ", 5\r\n", body, 400},
        {"chunked with a length", "Transfer-Encoding: chunked\r\nContent-Length: " + size + "\r\n", chunked,
            400},
        {"a length with chunked", "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n", chunked, 400},
        {"chunked with a length in other letter cases",
            "transfer-encoding: chunked\r\ncontent-length: " + size + "\r\n", chunked, 400},
        {"identity", "Transfer-Encoding: identity\r\n", body, 400},
        {"gzip", "Transfer-Encoding: gzip\r\n", body, 400},
        {"chunked, then identity", "Transfer-Encoding: chunked, identity\r\n", chunked, 400},
        {"identity, then chunked", "Transfer-Encoding: identity, chunked\r\n", chunked, 400},
        {"chunked on two lines", "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", chunked, 400},
        {"an empty coding", "Transfer-Encoding:\r\n", body, 400},
        // Framed one way: served.
        {"the same length twice", "Content-Length: " + size + "\r\nContent-Length: " + size + "\r\n", body,
            200},
        {"chunked only", "Transfer-Encoding: chunked\r\n", chunked, 200},
        {"chunked in capitals", "Transfer-Encoding: CHUNKED\r\n", chunked, 200},
        {"one length", "Content-Length: " + size + "\r\n", body, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        HttpTestClient client(port);
        ASSERT_TRUE(client.sendRaw(start + c.headers + "\r\n" + c.body));
        const HttpReply reply = client.readReply(false);
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, c.status) << reply.body;
        if (c.status == 400) {
            EXPECT_FALSE(reply.body.find("system.listMethods") != std::string::npos) << reply.body;
            // The service's own refusal is plain text (libmicrohttpd refuses
            // a malformed length itself, with a page of its own).
            if (reply.body.find("<html>") == std::string::npos) {
                EXPECT_EQ(reply.header("content-type"), "text/plain") << reply.body;
            }
            EXPECT_TRUE(client.peerClosed());
        } else {
            EXPECT_NE(reply.body.find("system.listMethods"), std::string::npos) << reply.body;
        }
    }
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

// A second start on the same log file: it tells its terminal why it ends,
// and writes none of that into the log of the service that holds the port.
TEST_F(RunningService, ASecondInstanceOnTheSamePortEndsWithOne)
{
    ServiceProcess second;
    ASSERT_TRUE(second.launch({"-d", "-p", QString::number(port), "-l", service.logPath()}));
    EXPECT_EQ(second.waitForExit(), 1);
    // What README tells a reader who starts the service twice.
    const QString terminal = second.standardError();
    EXPECT_TRUE(terminal.contains(QString("Failed to bind to port %1: Address already in use").arg(port)))
        << terminal.toStdString();
    EXPECT_TRUE(terminal.contains(QString("Application will stop as port  %1  is already in use!").arg(port)))
        << terminal.toStdString();
    EXPECT_TRUE(terminal.contains("Couldn't start Http server")) << terminal.toStdString();
    HttpTestClient client(port); // the first one still serves
    const HttpReply errors = client.request("GET", "/debug/error");
    EXPECT_EQ(errors.status, 200);
    EXPECT_EQ(errors.body.find("Couldn't start Http server"), std::string::npos) << errors.body;
    EXPECT_EQ(errors.body.find("FATAL"), std::string::npos) << errors.body;
    const HttpReply warnings = client.request("GET", "/debug/warning");
    EXPECT_EQ(warnings.body.find("Failed to bind"), std::string::npos) << warnings.body;
    EXPECT_FALSE(service.log().contains("already in use")) << service.log().toStdString();
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
