#include "core/item.h"
#include "log_capture.h"
#include "probe_method.h"
#include "qt_printers.h"
#include "service/json_rpc_exception.h"
#include "service/quinmark_rpc_server.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QJsonArray>
#include <QLoggingCategory>

#include <stdexcept>

using namespace tarvesk;
using namespace tarvesk::service;
using tarvesk::test::FakeProductDatabase;
using tarvesk::test::ProbeFactory;
using tarvesk::test::ProbeMethod;

namespace {

// Start-up with fakes that note what they were asked for, in order.
class RpcServerTest : public ::testing::Test
{
protected:
    void SetUp() override { QLoggingCategory::setFilterRules("rpc.server*.debug=true"); }
    void TearDown() override
    {
        AbstractRpcMethod::setDatabase(nullptr);
        AbstractRpcMethod::setApiMode(false);
    }

    QuinmarkRpcServer::Dependencies fakes(bool initializeResult = true)
    {
        QuinmarkRpcServer::Dependencies d;
        d.database = [this, initializeResult] {
            steps << "database";
            database = std::make_shared<FakeProductDatabase>(initializeResult);
            return database;
        };
        d.methodFactory = [this]() -> std::unique_ptr<AbstractRpcMethodCachedFactory> {
            steps << QStringLiteral("factory database=%1 api=%2")
                         .arg(AbstractRpcMethod::database() == database)
                         .arg(AbstractRpcMethod::isApiMode());
            if (!useProbes)
                return std::make_unique<RpcMethodCachedFactory>();
            auto factory = std::make_unique<ProbeFactory>();
            factory->make = [this](const QString& name) -> AbstractRpcMethod* {
                if (makeFails)
                    makeFails();
                return new ProbeMethod(name, {}, work);
            };
            return factory;
        };
        d.createUsbUniverse = [this](const QString& name) {
            steps << "usb " + name;
            universe = new core::Item(name);
            return universe;
        };
        d.releaseUsbUniverse = [this](core::Item* released) {
            steps << "release";
            EXPECT_EQ(released, universe);
            delete released;
        };
        return d;
    }

    std::unique_ptr<RpcResponse> call(
        QuinmarkRpcServer& server, const QString& body, RpcMethodError* result = nullptr)
    {
        RpcRequest request;
        EXPECT_TRUE(request.parseJsonRpc(body));
        auto response = std::make_unique<RpcResponse>();
        const RpcMethodError outcome = server.handleRequest(&request, response.get());
        if (result)
            *result = outcome;
        EXPECT_EQ(outcome.getErrorCode(), response->getErrorCode());
        return response;
    }

    QStringList steps;
    std::shared_ptr<FakeProductDatabase> database;
    core::Item* universe = nullptr;
    bool useProbes = false;
    ProbeMethod::Work work;
    std::function<void()> makeFails;
};

TEST_F(RpcServerTest, InitialisesInOrderAndReleasesWhatItMade)
{
    {
        QuinmarkRpcServer server(true, true, fakes());
        ASSERT_TRUE(server.init());
        EXPECT_EQ(steps, QStringList({"database", "factory database=1 api=1", "usb USB"}));
        EXPECT_EQ(database->initializeCalls, 1);
        EXPECT_TRUE(database->lastFirmwareCacheFlag);
        EXPECT_TRUE(server.isApiMode());
        EXPECT_EQ(server.usbUniverse(), universe);
        EXPECT_EQ(server.database(), database);
    }
    EXPECT_EQ(steps.last(), QString("release"));
    EXPECT_EQ(AbstractRpcMethod::database(), nullptr);
}

TEST_F(RpcServerTest, UnreadableDatabaseFailsStartUp)
{
    QuinmarkRpcServer server(false, false, fakes(false));
    EXPECT_FALSE(server.init());
    EXPECT_EQ(steps, QStringList({"database"}));
    EXPECT_FALSE(database->lastFirmwareCacheFlag);

    // Requests to a server that did not start are answered, not crashed on.
    RpcMethodError result;
    auto response = call(server, R"({"jsonrpc":"2.0","id":1,"method":"system.listMethods"})", &result);
    EXPECT_EQ(result.getErrorCode(), -32603);
}

TEST_F(RpcServerTest, ThrowsDuringStartUpAreLoggedAndFail)
{
    const struct
    {
        std::function<void()> fail;
        QtMsgType level;
        QString logged;
    } cases[] = {
        {[] { throw QStringLiteral("package broken"); }, QtInfoMsg, "package broken"},
        {[] { throw StringException("bad table", "src/x/loader.cpp", 4); }, QtDebugMsg,
            "bad table  @ loader.cpp: 4"},
        {[] { throw std::runtime_error("x"); }, QtDebugMsg,
            "Unknown exception occurred while initializing QuinmarkRpcServer "},
    };
    for (const auto& c : cases) {
        QuinmarkRpcServer::Dependencies d = fakes();
        d.database = [&]() -> std::shared_ptr<AbstractDatabase> {
            c.fail();
            return nullptr;
        };
        tarvesk::test::LogCapture log;
        QuinmarkRpcServer server(false, false, d);
        EXPECT_FALSE(server.init());
        bool found = false;
        for (const auto& entry : log.entries())
            found |= entry.category == "rpc.server" && entry.type == c.level
                && entry.message.trimmed() == c.logged.trimmed();
        EXPECT_TRUE(found) << c.logged.toStdString();
    }
}

TEST_F(RpcServerTest, ListMethodsEndToEnd)
{
    for (bool apiMode : {false, true}) {
        QuinmarkRpcServer server(apiMode, false, fakes());
        ASSERT_TRUE(server.init());
        auto response = call(server, R"({"jsonrpc":"2.0","id":"a","method":"system.listMethods"})");
        const QJsonObject reply
            = QJsonDocument::fromJson(response->serializeToUtf8(QJsonDocument::Indented)).object();
        const QJsonArray names = reply.value("result").toArray();
        EXPECT_EQ(reply.value("id"), QJsonValue("a"));
        if (apiMode) {
            // "device.create" stays callable but is not listed.
            EXPECT_EQ(names,
                QJsonArray({"system.listMethods", "uut.device.info", "uut.profiles.list",
                    "uut.profile.program", "uut.profile.verify", "uut.device.convert.rb57"}));
        } else {
            ASSERT_EQ(names.size(), 75);
            for (int i = 0; i < names.size(); ++i)
                EXPECT_EQ(names.at(i).toString(), AbstractRpcMethod::commandNames().at(i));
        }

        RpcMethodError result;
        call(server, R"({"jsonrpc":"2.0","id":2,"method":"system.listMethods","params":{"x":1}})", &result);
        EXPECT_EQ(result.getErrorCode(), -32602);
    }
}

TEST_F(RpcServerTest, ExceptionsBecomeErrorsCutForApiClients)
{
    useProbes = true;
    work = [](RpcRequest*, RpcResponse*) -> RpcMethodError {
        throw JsonRpcException("bad value", -32602, "src/a/rpc_probe.cpp", 12);
    };
    const QString body = R"({"jsonrpc":"2.0","id":5,"method":"device.create"})";
    {
        QuinmarkRpcServer normal(false, false, fakes());
        ASSERT_TRUE(normal.init());
        auto response = call(normal, body);
        EXPECT_EQ(response->getErrorCode(), -32602);
        EXPECT_EQ(response->getErrorString(),
            "Error executing method device.create: bad value  @ rpc_probe.cpp: 12");
        EXPECT_EQ(response->getJsonId(), QJsonValue(5));

        // Any other exception on the way to the method.
        makeFails = [] { throw std::runtime_error("out of memory"); };
        response = call(normal, R"({"jsonrpc":"2.0","id":6,"method":"device.list"})");
        EXPECT_EQ(response->getErrorCode(), -32603);
        EXPECT_EQ(response->getErrorString(), "Unknown exception occurred while executing 'device.list'");
        makeFails = nullptr;
    }
    QuinmarkRpcServer api(true, false, fakes());
    ASSERT_TRUE(api.init());
    auto response = call(api, body);
    EXPECT_EQ(response->getErrorCode(), -32602);
    EXPECT_EQ(response->getErrorString(), "Error executing method device.create: bad value  ");

    // A name not open in API mode fails in the factory.
    response = call(api, R"({"jsonrpc":"2.0","id":"n","method":"device.list"})");
    EXPECT_EQ(response->getErrorCode(), -32603);
    EXPECT_EQ(response->getErrorString(), "Invalid method name 'device.list'  ");
    EXPECT_EQ(response->getJsonId(), QJsonValue("n"));
}

TEST_F(RpcServerTest, ReturnedErrorsAndSuccess)
{
    useProbes = true;
    work = [](RpcRequest*, RpcResponse* response) {
        response->setResultValue(new RpcValue(1.23456));
        return RpcMethodError();
    };
    QuinmarkRpcServer server(false, false, fakes());
    ASSERT_TRUE(server.init());
    RpcMethodError result(-1);
    auto response = call(server, R"({"jsonrpc":"2.0","id":12345678901,"method":"device.ping"})", &result);
    EXPECT_TRUE(result.isOk());
    EXPECT_EQ(response->serializeToJson(QJsonDocument::Compact),
        QString(R"({"id":12345678901,"jsonrpc":"2.0","result":1.235})"));

    work = [](RpcRequest*, RpcResponse*) { return RpcMethodError(-32000, "device busy"); };
    response = call(server, R"({"jsonrpc":"2.0","id":1,"method":"device.log"})", &result);
    EXPECT_EQ(result.getErrorCode(), -32603);
    EXPECT_EQ(result.getErrorMessage(), "device busy");

    EXPECT_NO_THROW(server.handleRequest(nullptr, nullptr));
    RpcResponse orphan;
    EXPECT_EQ(server.handleRequest(nullptr, &orphan).getErrorCode(), -32603);
}

TEST_F(RpcServerTest, RunsWithoutDatabaseOrUsbUniverseInstalled)
{
    tarvesk::test::LogCapture log;
    QuinmarkRpcServer server(false, false, QuinmarkRpcServer::Dependencies());
    ASSERT_TRUE(server.init());
    EXPECT_EQ(server.usbUniverse(), nullptr);
    RpcMethodError result;
    call(server, R"({"jsonrpc":"2.0","id":1,"method":"system.listMethods"})", &result);
    EXPECT_EQ(result.getErrorCode(), -32603);
    EXPECT_TRUE(result.getErrorMessage().contains("An instance of AbstractDatabase* must be provided"));
}

} // namespace
