// Many clients at once against the real HTTP server, request handler and RPC
// server, in this process so that ThreadSanitizer sees every thread (run it
// with `bash scripts/test-tsan.sh service`). The methods and the path handler
// that needs the lock run one at a time; parsing, writing, sending and the
// log page run beside them; every client gets exactly its own answers.

#include "fake_product_database.h"
#include "http_test_client.h"
#include "probe_method.h"

#include "log/qdebug_logger.h"
#include "network/http_host_whitelist.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "network/http_server.h"
#include "network/http_session_factory.h"
#include "service/http_service_request_handler.h"
#include "service/qdebug_logger_http_request_handler.h"
#include "service/quinmark_rpc_server.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"
#include "service/service_request.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace tarvesk;

namespace {

// Counts how many requests are inside the work that must run alone.
struct Exclusion
{
    std::atomic<int> inside {0};
    std::atomic<int> most {0};
    int runs = 0; // written only inside: the handler's mutex guards it

    void enter()
    {
        const int now = ++inside;
        int seen = most;
        while (now > seen && !most.compare_exchange_weak(seen, now)) { }
        ++runs;
        std::this_thread::yield(); // a wider window for a second request to show up
    }
    void leave() { --inside; }
};

// The service's method table, with "device.list" answered by a probe that
// echoes its parameters from inside the exclusion.
class EchoFactory : public service::RpcMethodCachedFactory
{
public:
    explicit EchoFactory(Exclusion* exclusion)
        : exclusion(exclusion)
    { }

    service::AbstractRpcMethod* createMethodForName(const QString& name) override
    {
        if (name != QLatin1String("device.list"))
            return RpcMethodCachedFactory::createMethodForName(name);
        using E = service::RpcRequestEnums;
        const QList<service::RpcRequestParameter> declarations {
            {E::PARAM_DEVICE_ID, QVariant(), true, E::TYPE_INTEGER}, {E::PARAM_VALUE, QVariant(), true}};
        return new test::ProbeMethod(
            name, declarations, [this](service::RpcRequest* request, service::RpcResponse* response) {
                exclusion->enter();
                auto* result = new service::RpcObject;
                result->addChild("client", request->getParam("device_id")->clone());
                result->addChild("n", request->getParam("value")->clone());
                response->setResultValue(result);
                exclusion->leave();
                return service::RpcMethodError();
            });
    }

    Exclusion* exclusion;
};

// "/data": a path handler that needs the lock, inside the same exclusion.
class LockedPage : public service::ServiceRequest
{
public:
    explicit LockedPage(Exclusion* exclusion)
        : exclusion(exclusion)
    { }
    void handleRequest(network::HttpRequest*, network::HttpResponse* response) override
    {
        exclusion->enter();
        response->setData("data page");
        response->setStatusCode(200);
        exclusion->leave();
    }
    Exclusion* exclusion;
};

class ConcurrentClients : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(logDir.isValid());
        service::QDebugLogger::install(true, logDir.filePath("debug.txt"));
        qInfo() << "log page content";

        service::QuinmarkRpcServer::Dependencies dependencies;
        dependencies.database = [] { return std::make_shared<test::FakeProductDatabase>(); };
        dependencies.methodFactory = [this] { return std::make_unique<EchoFactory>(&exclusion); };
        rpcServer = std::make_shared<service::QuinmarkRpcServer>(false, false, dependencies);
        ASSERT_TRUE(rpcServer->init());
        auto handler = std::make_shared<service::HttpServiceRequestHandler>(rpcServer, false, 0);
        handler->registerServiceHandler("/data", std::make_shared<LockedPage>(&exclusion));
        handler->registerServiceHandler(
            "/debug", std::make_shared<service::QDebugLoggerHttpRequestHandler>());

        network::setHttpSessionFactory(
            std::make_shared<network::HttpSessionFactory>(std::make_shared<network::HttpHostWhitelist>()));
        network::setInstalledHandler(handler);
        port = qmtest::freeLoopbackPort();
        server = std::make_unique<network::HttpServer>(port);
        ASSERT_TRUE(server->start());
    }

    void TearDown() override
    {
        server.reset();
        network::setInstalledHandler(nullptr);
        network::setHttpSessionFactory(nullptr);
        service::QDebugLogger::setEnableWriteToFile(false);
    }

    QTemporaryDir logDir;
    Exclusion exclusion;
    std::shared_ptr<service::QuinmarkRpcServer> rpcServer;
    std::unique_ptr<network::HttpServer> server;
    int port = 0;
};

// What one client saw go wrong; empty when every answer was its own.
std::string runClient(int port, int client, int rounds)
{
    qmtest::HttpTestClient http(port);
    const qmtest::HeaderList json {{"Content-Type", "application/json-rpc"}};
    for (int n = 0; n < rounds; ++n) {
        const std::string id = "\"c" + std::to_string(client) + "-" + std::to_string(n) + "\"";
        const std::string params
            = "{\"device_id\": " + std::to_string(client) + ", \"value\": " + std::to_string(n) + "}";
        const qmtest::HttpReply echo
            = http.request("POST", "/", json, qmtest::rpcBody("device.list", id, params));
        const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(echo.body)).object();
        if (echo.status != 200 || answer.value("id").toString().toStdString() != id.substr(1, id.size() - 2)
            || answer.value("result").toObject().value("client").toInt() != client
            || answer.value("result").toObject().value("n").toInt() != n)
            return "echo " + id + " answered " + std::to_string(echo.status) + " " + echo.body;

        switch (n % 4) {
        case 0: {
            const qmtest::HttpReply names = http.request(
                "POST", "/", json, qmtest::rpcBody("system.listMethods", std::to_string(n), "{}"));
            const QJsonObject list = QJsonDocument::fromJson(QByteArray::fromStdString(names.body)).object();
            if (names.status != 200 || list.value("id").toInt(-1) != n
                || list.value("result").toArray().isEmpty())
                return "listMethods answered " + names.body;
            break;
        }
        case 1:
            if (http.request("GET", "/data/x").body != "data page")
                return "data page missing";
            break;
        case 2: {
            const qmtest::HttpReply page = http.request("GET", "/debug");
            if (page.status != 200 || page.body.find("log page content") == std::string::npos)
                return "log page missing";
            break;
        }
        default: {
            const qmtest::HttpReply broken = http.request("POST", "/", json, R"({"jsonrpc": "2.0", "id": )");
            if (broken.status != 500 || broken.body.find("-32700") == std::string::npos)
                return "broken envelope answered " + broken.body;
            break;
        }
        }
    }
    return std::string();
}

TEST_F(ConcurrentClients, EveryClientGetsItsOwnAnswersAndMethodsRunAlone)
{
    constexpr int Clients = 16;
    constexpr int Rounds = 40;
    std::vector<std::string> faults(Clients);
    std::vector<std::thread> threads;
    for (int c = 0; c < Clients; ++c)
        threads.emplace_back([&, c] { faults[size_t(c)] = runClient(port, c, Rounds); });
    for (auto& thread : threads)
        thread.join();

    for (int c = 0; c < Clients; ++c)
        EXPECT_EQ(faults[size_t(c)], "") << "client " << c;
    EXPECT_EQ(exclusion.most, 1);
    EXPECT_EQ(exclusion.runs, Clients * Rounds + Clients * Rounds / 4); // every echo and every data page
}

} // namespace
