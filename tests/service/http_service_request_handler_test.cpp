#include "fake_product_database.h"
#include "log/qdebug_logger.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/http_service_request_handler.h"
#include "service/qdebug_logger_http_request_handler.h"
#include "service/quinmark_rpc_server.h"
#include "service/service_request.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarvesk;
using service::HttpServiceRequestHandler;

namespace {

// Records which path it served; can be made to block until released.
class PathHandler : public service::ServiceRequest
{
public:
    explicit PathHandler(QByteArray name, bool needsLock = true)
        : name(std::move(name))
        , needsLock(needsLock)
    { }
    bool needsRequestLock() const override { return needsLock; }
    void handleRequest(network::HttpRequest* request, network::HttpResponse* response) override
    {
        ++active;
        entered.release();
        if (blocking)
            release.acquire();
        seenPath = request->getURL().path();
        response->setData(name);
        response->setStatusCode(200);
        --active;
    }
    QByteArray name;
    bool needsLock;
    QString seenPath;
    bool blocking = false;
    std::atomic<int> active {0};
    QSemaphore entered;
    QSemaphore release;
};

std::shared_ptr<service::QuinmarkRpcServer> makeRpcServer(bool apiMode)
{
    service::QuinmarkRpcServer::Dependencies dependencies;
    dependencies.database = [] { return std::make_shared<test::FakeProductDatabase>(); };
    auto server = std::make_shared<service::QuinmarkRpcServer>(apiMode, false, dependencies);
    EXPECT_TRUE(server->init());
    return server;
}

class ServiceHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        handler.registerServiceHandler("/debug", debugPage);
        handler.registerServiceHandler("/data", dataFiles);
    }

    std::unique_ptr<network::HttpResponse> post(const QString& contentType, const QByteArray& body)
    {
        network::HttpRequest request("POST", "/");
        if (!contentType.isNull())
            request.addHeaderItem("Content-Type", contentType);
        request.appendUploadData(body.constData(), body.size());
        return std::unique_ptr<network::HttpResponse>(handler.handleRequest(&request));
    }

    std::unique_ptr<network::HttpResponse> get(const QString& path, const QString& method = "GET")
    {
        network::HttpRequest request(method, path);
        return std::unique_ptr<network::HttpResponse>(handler.handleRequest(&request));
    }

    static QJsonObject json(const network::HttpResponse& response)
    {
        return QJsonDocument::fromJson(response.getData()).object();
    }

    std::shared_ptr<PathHandler> debugPage = std::make_shared<PathHandler>("debug");
    std::shared_ptr<PathHandler> dataFiles = std::make_shared<PathHandler>("data");
    HttpServiceRequestHandler handler {makeRpcServer(false), false, 0};
};

} // namespace

TEST_F(ServiceHandlerTest, ContentTypesDecideWhetherAPostIsRead)
{
    const QByteArray call = R"({"jsonrpc": "2.0", "id": 7, "method": "system.listMethods"})";
    const struct
    {
        const char* contentType;
        int status;
    } cases[] = {
        {"application/json-rpc", 200},
        {"application/json-rpc; charset=utf-8", 200},
        {"application/x-www-form-urlencoded", 200},
        {"application/json", 403},
        {"text/plain", 403},
        {"APPLICATION/JSON-RPC", 403},
        {nullptr, 403},
    };
    for (const auto& c : cases) {
        const auto response = post(c.contentType ? QString(c.contentType) : QString(), call);
        EXPECT_EQ(response->getStatusCode(), c.status) << (c.contentType ? c.contentType : "(none)");
        if (c.status == 403) {
            EXPECT_TRUE(response->getData().isEmpty());
            EXPECT_TRUE(response->getHeaderItem("Content-Type").isEmpty());
        } else {
            EXPECT_EQ(response->getHeaderItem("Content-Type"), "application/json-rpc");
        }
    }
}

TEST_F(ServiceHandlerTest, EnvelopesMapToHttpStatusAndErrorCodes)
{
    const struct
    {
        const char* body;
        int status;
        int code; // 0: a result; 1: any error the RPC server chose
    } cases[] = {
        {R"({"jsonrpc": "2.0", "id": 7, "method": "system.listMethods"})", 200, 0},
        {"", 500, -32700},
        {R"({"jsonrpc": "2.0", "id": 1, "method": )", 500, -32700},
        {"{}", 400, -32600},
        {R"([{"jsonrpc": "2.0", "id": 1, "method": "system.listMethods"}])", 400, -32600},
        {R"({"id": 1, "method": "system.listMethods"})", 400, -32600},
        {R"({"jsonrpc": "2.0", "id": 1, "method": "no.such.method"})", 500, 1},
        {R"({"jsonrpc": "2.0", "id": 1, "method": "device.ping"})", 500, 1},
        // Text the framework's parser takes, and leaks on, is no JSON.
        {R"({"jsonrpc":"2.0","id":1,"x\q":0,"method":"system.listMethods","params":{"a":{"b":[1]},"a":{"c":[2]}}})",
            500, -32700},
        {"{\"jsonrpc\": \"2.0\", \"id\": 1, \"method\": \"system.listMethods\xff\"}", 500, -32700},
    };
    for (const auto& c : cases) {
        const auto response = post("application/json-rpc", c.body);
        EXPECT_EQ(response->getStatusCode(), c.status) << c.body;
        const QJsonObject reply = json(*response);
        EXPECT_EQ(reply.value("jsonrpc").toString(), "2.0") << c.body;
        if (c.code == 0) {
            EXPECT_TRUE(reply.value("result").isArray()) << c.body;
            EXPECT_EQ(reply.value("id").toInt(), 7);
        } else if (c.code == 1) {
            EXPECT_LT(reply.value("error").toObject().value("code").toInt(), 0) << c.body;
            EXPECT_EQ(reply.value("id").toInt(), 1) << c.body;
        } else {
            EXPECT_EQ(reply.value("error").toObject().value("code").toInt(), c.code) << c.body;
        }
    }
    const QJsonObject empty = json(*post("application/json-rpc", ""));
    EXPECT_EQ(empty.value("error").toObject().value("message").toString(), "");
    EXPECT_TRUE(empty.value("id").isNull());
}

// The reply's id is the request's id text, digit for digit: a double would
// turn 1.50 into 1.5, 1e3 into 1000 and the long number into 1.2345678901234568e+29.
TEST_F(ServiceHandlerTest, ReplyIdIsTheRequestIdTextUnchanged)
{
    const char* ids[] = {"7", "1.50", "-0", "0.0", "1e3", "1E+3", "-2.5e-7", "123456789012345678901234567890",
        "-123456789012345678901234567890.000", "9223372036854775807", "-9007199254740993",
        "18446744073709551616", R"("abc")", R"("a\/b")", R"("\u00e4\n")", R"("0")"};
    // The top-level members of an indented reply stand on lines of their own.
    const QRegularExpression idLine(QStringLiteral("\n    \"id\": ([^\n]*),\n"));
    for (const char* id : ids) {
        for (const char* method : {"system.listMethods", "no.such.method"}) {
            const QByteArray body
                = QStringLiteral(R"({"jsonrpc": "2.0", "id": %1, "method": "%2"})").arg(id, method).toUtf8();
            const auto response = post("application/json-rpc", body);
            const QRegularExpressionMatch match = idLine.match(QString::fromUtf8(response->getData()));
            ASSERT_TRUE(match.hasMatch()) << response->getData().toStdString();
            EXPECT_EQ(match.captured(1), QString(id)) << method;
            EXPECT_NE(json(*response).value(QByteArray(method) == "no.such.method" ? "error" : "result"),
                QJsonValue(QJsonValue::Undefined))
                << id;
        }
    }
}

TEST_F(ServiceHandlerTest, RepliesAreIndentedUtf8)
{
    const QByteArray call = "{\"jsonrpc\": \"2.0\", \"id\": \"\xc3\xa4\xe2\x82\xac\", \"method\": \"x.y\"}";
    const auto response = post("application/json-rpc", call);
    EXPECT_TRUE(response->getData().contains("\n    \"error\": {"));
    EXPECT_EQ(json(*response).value("id").toString(), QString::fromUtf8("\xc3\xa4\xe2\x82\xac"));
    EXPECT_TRUE(response->getData().contains("\xe2\x82\xac"));
}

TEST_F(ServiceHandlerTest, GetRoutesByFirstKeyContainedInThePath)
{
    const struct
    {
        const char* path;
        const char* method;
        int status;
        const char* servedBy;
        const char* seenPath;
    } cases[] = {
        {"/", "GET", 200, "data", "/data/html/index.html"},
        {"", "GET", 200, "data", "/data/html/index.html"},
        {"/", "HEAD", 200, "data", "/data/html/index.html"},
        {"/data/css/log.css", "GET", 200, "data", "/data/css/log.css"},
        {"/debug/data/x", "GET", 200, "data", "/debug/data/x"},
        {"/x/debug", "GET", 200, "debug", "/x/debug"},
        {"/debug/info", "GET", 200, "debug", "/debug/info"},
        {"/favicon.ico", "GET", 404, "", ""},
        {"/DEBUG", "GET", 404, "", ""},
    };
    for (const auto& c : cases) {
        dataFiles->seenPath.clear();
        debugPage->seenPath.clear();
        const auto response = get(c.path, c.method);
        EXPECT_EQ(response->getStatusCode(), c.status) << c.path;
        EXPECT_EQ(response->getData(), QByteArray(c.servedBy)) << c.path;
        const QString seen = QByteArray(c.servedBy) == "data" ? dataFiles->seenPath : debugPage->seenPath;
        EXPECT_EQ(seen, QString(c.seenPath)) << c.path;
    }
}

TEST(ServiceHandlerApiMode, StartPageIsTheApiIndex)
{
    HttpServiceRequestHandler handler(makeRpcServer(true), false, 0);
    auto data = std::make_shared<PathHandler>("data");
    handler.registerServiceHandler("/data", data);
    network::HttpRequest request("GET", "/");
    std::unique_ptr<network::HttpResponse> response(handler.handleRequest(&request));
    EXPECT_EQ(data->seenPath, "/data/html/api/index.html");
}

TEST_F(ServiceHandlerTest, RequestsRunOneAtATime)
{
    debugPage->blocking = true;
    std::thread slow([&] { get("/debug"); });
    debugPage->entered.acquire();

    std::atomic<bool> fastDone {false};
    std::thread fast([&] {
        get("/data/x");
        fastDone = true;
    });
    // The second request must not enter while the first holds the handler.
    EXPECT_FALSE(dataFiles->entered.tryAcquire(1, 200));
    EXPECT_FALSE(fastDone);
    debugPage->release.release();
    slow.join();
    fast.join();
    EXPECT_TRUE(fastDone);
}

// Only the shared work waits for the request that holds the handler: the
// method of a POST and a path handler that needs the lock. Refusing a
// content type, parsing and answering a broken envelope, and a path handler
// that needs no lock (the log page) run beside it.
TEST_F(ServiceHandlerTest, OnlySharedWorkWaitsForTheLock)
{
    EXPECT_FALSE(service::QDebugLoggerHttpRequestHandler().needsRequestLock());
    auto logPage = std::make_shared<PathHandler>("log", false);
    handler.registerServiceHandler("/log", logPage);

    dataFiles->blocking = true;
    std::thread holder([&] { get("/data/x"); });
    dataFiles->entered.acquire();

    std::atomic<bool> methodDone {false};
    std::unique_ptr<network::HttpResponse> methodReply;
    std::thread method([&] {
        methodReply
            = post("application/json-rpc", R"({"jsonrpc": "2.0", "id": 1, "method": "system.listMethods"})");
        methodDone = true;
    });

    EXPECT_EQ(get("/log")->getData(), "log");
    const auto broken = post("application/json-rpc", R"({"jsonrpc": "2.0", "id": 1, "method")");
    EXPECT_EQ(broken->getStatusCode(), 500);
    EXPECT_EQ(json(*broken).value("error").toObject().value("code").toInt(), -32700);
    const auto noId = post("application/json-rpc", R"({"jsonrpc": "2.0", "method": "system.listMethods"})");
    EXPECT_EQ(noId->getStatusCode(), 400);
    EXPECT_EQ(post("application/json", "{}")->getStatusCode(), 403);
    EXPECT_FALSE(methodDone); // the method itself still waits

    dataFiles->release.release();
    holder.join();
    method.join();
    ASSERT_TRUE(methodReply);
    EXPECT_EQ(methodReply->getStatusCode(), 200);
    EXPECT_TRUE(json(*methodReply).value("result").isArray());
}

// A client's text never starts a log line of its own: a method name holding a
// line end and a made-up "FATAL" line stays inside the lines that name it, and
// the debug page's error view shows nothing of it.
TEST(ServiceHandlerLog, ClientTextCannotForgeLogLines)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString logPath = dir.filePath("log/debug.txt");
    service::QDebugLogger::install(true, logPath);
    HttpServiceRequestHandler handler(makeRpcServer(false), false, 1);
    handler.registerServiceHandler("/debug", std::make_shared<service::QDebugLoggerHttpRequestHandler>());

    const QString forged = QStringLiteral("FATAL || 01.01.2000 00:00:00 || forged (1) || pwned");
    const QString lineEnds[] = {"\n", "\r\n", "\r", "\n\n"};
    for (const QString& lineEnd : lineEnds) {
        const QJsonObject call {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "x" + lineEnd + forged}};
        network::HttpRequest request("POST", "/");
        request.addHeaderItem("Content-Type", "application/json-rpc");
        const QByteArray body = QJsonDocument(call).toJson();
        request.appendUploadData(body.constData(), body.size());
        std::unique_ptr<network::HttpResponse> response(handler.handleRequest(&request));
        EXPECT_EQ(response->getStatusCode(), 500);
    }

    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    EXPECT_FALSE(log.contains('\r'));
    int naming = 0;
    for (const QByteArray& line : log.split('\n')) {
        if (!line.contains("pwned"))
            continue;
        ++naming;
        EXPECT_TRUE(line.contains("x\\nFATAL || 01.01.2000") || line.contains("x\\r\\nFATAL || 01.01.2000")
            || line.contains("x\\rFATAL || 01.01.2000") || line.contains("x\\n\\nFATAL || 01.01.2000"))
            << line.toStdString();
        EXPECT_FALSE(line.startsWith("FATAL || 01.01.2000")) << line.toStdString();
    }
    EXPECT_GE(naming, 4); // every request is named in the log at least once

    for (const char* path : {"/debug/error", "/debug"}) {
        network::HttpRequest request("GET", path);
        std::unique_ptr<network::HttpResponse> page(handler.handleRequest(&request));
        ASSERT_EQ(page->getStatusCode(), 200);
        const QString text = QString::fromUtf8(page->getData());
        if (QByteArray(path) == "/debug/error") {
            EXPECT_FALSE(text.contains("pwned")) << text.toStdString();
        }
        EXPECT_FALSE(text.contains("<br>FATAL || 01.01.2000")) << text.toStdString();
    }
    service::QDebugLogger::setEnableWriteToFile(false);
    qInstallMessageHandler(nullptr);
}
