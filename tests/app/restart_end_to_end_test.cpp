#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "wait_until.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using qmtest::HttpTestClient;
using qmtest::ServiceProcess;

namespace {

QJsonObject call(int port, const std::string& method, const std::string& params = "{}")
{
    return qmtest::rpcCallText(port, method, params);
}

// The number of universes named "USB", or -1 when "universe.list" fails.
int usbUniverseCount(int port)
{
    const QJsonObject reply = call(port, "universe.list");
    if (!reply.value("result").isArray())
        return -1;
    int count = 0;
    const QJsonArray universes = reply.value("result").toArray();
    for (const auto& universe : universes)
        count += universe.toObject().value("universe_name").toString() == "USB" ? 1 : 0;
    return count;
}

const qmtest::HeaderList JsonRpc {{"Content-Type", "application/json-rpc"}};

QString defaultBench()
{
    return QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json";
}

// A reply to "system.listMethods": status 200 and its list of methods.
bool listsMethods(const qmtest::HttpReply& reply)
{
    return reply.ok && reply.status == 200 && reply.body.find("\"system.listMethods\"") != std::string::npos;
}

// The POST of a JSON-RPC request without the last byte of its body.
std::string requestWithoutLastByte(const std::string& method, std::string* lastByte)
{
    const std::string body = qmtest::rpcBody(method);
    *lastByte = body.substr(body.size() - 1);
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json-rpc\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, body.size() - 1);
}

} // namespace

// Clients that send requests on fresh connections all through ten restarts:
// every request is answered, none is refused, closed or reset, since the
// listen socket stays open from one pass to the next and each pass answers
// the connections it accepted before it goes.
TEST(Restart, RequestsOnFreshConnectionsAreAllAnsweredThroughTenRestarts)
{
    constexpr int Clients = 6;
    constexpr int Restarts = 10;
    ServiceProcess service;
    service.environment().insert("QM_SIM_BENCH", defaultBench());
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();

    std::atomic<bool> stop {false};
    std::atomic<int> answered {0};
    std::atomic<int> refused {0};
    std::atomic<int> dropped {0}; // connected, then closed or reset without a reply
    std::vector<std::thread> clients;
    for (int i = 0; i < Clients; ++i) {
        clients.emplace_back([&] {
            while (!stop) {
                // Long enough for a whole restart under the sanitizers.
                HttpTestClient client(port, std::chrono::seconds(60));
                if (!client.connect()) {
                    ++refused;
                    continue;
                }
                const qmtest::HttpReply reply
                    = client.request("POST", "/", JsonRpc, qmtest::rpcBody("system.listMethods"));
                ++(listsMethods(reply) ? answered : dropped);
            }
        });
    }
    const auto passesStarted = [&] { return service.log().count("HTTP started at port"); };
    int restartsAnswered = 0;
    for (int restart = 1; restart <= Restarts; ++restart) {
        // Each pass serves the clients a while before it goes.
        const int before = answered;
        EXPECT_TRUE(tarvesk::test::waitUntil([&] { return answered >= before + 2 * Clients; }, 60000))
            << restart;
        HttpTestClient client(port, std::chrono::seconds(60));
        const qmtest::HttpReply reply
            = client.request("POST", "/", JsonRpc, qmtest::rpcBody("application.restart"));
        restartsAnswered += reply.ok && reply.body.find("Application restart") != std::string::npos ? 1 : 0;
        ASSERT_TRUE(tarvesk::test::waitUntil([&] { return passesStarted() == restart + 1; }, 60000))
            << restart;
    }
    const int before = answered;
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return answered >= before + 2 * Clients; }, 60000));
    stop = true;
    for (std::thread& client : clients)
        client.join();

    EXPECT_EQ(restartsAnswered, Restarts);
    EXPECT_EQ(refused, 0) << answered << " answered";
    EXPECT_EQ(dropped, 0) << answered << " answered";
    EXPECT_EQ(service.log().count("QMS service finished. return_value:  1337"), Restarts);
    EXPECT_EQ(service.log().count("Application will stop as port"), 0);
    EXPECT_TRUE(qmtest::rpcCall(port, "application.quit").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

// At "application.quit" the service stops accepting at once, then answers
// every connection it accepted before: also those whose request had not
// arrived, or not wholly, when the quit came.
TEST(Quit, EveryConnectionAcceptedBeforeTheQuitIsAnswered)
{
    ServiceProcess service;
    service.environment().insert("QM_SIM_BENCH", defaultBench());
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();

    constexpr int Partial = 3;
    constexpr int Silent = 3;
    std::vector<std::unique_ptr<HttpTestClient>> partial;
    std::vector<std::unique_ptr<HttpTestClient>> silent;
    std::string lastByte;
    for (int i = 0; i < Partial; ++i) {
        partial.push_back(std::make_unique<HttpTestClient>(port));
        ASSERT_TRUE(partial.back()->sendRaw(requestWithoutLastByte("system.listMethods", &lastByte))) << i;
    }
    for (int i = 0; i < Silent; ++i) {
        silent.push_back(std::make_unique<HttpTestClient>(port));
        ASSERT_TRUE(silent.back()->connect()) << i;
    }

    EXPECT_TRUE(qmtest::rpcCall(port, "application.quit").contains("result"));
    // New connections are refused from now on: the service is answering
    // what it accepted, and waits for these requests to arrive.
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return !qmtest::portAcceptsConnections(port); }, 60000));
    EXPECT_TRUE(service.isRunning());

    int answered = 0;
    for (auto& client : partial) {
        if (client->sendRaw(lastByte))
            answered += listsMethods(client->readReply(false)) ? 1 : 0;
    }
    for (auto& client : silent)
        answered
            += listsMethods(client->request("POST", "/", JsonRpc, qmtest::rpcBody("system.listMethods")));
    EXPECT_EQ(answered, Partial + Silent);
    EXPECT_EQ(service.waitForExit(60000), 0);
}

// A quit answered while a restart lets its accepted connections finish is not
// lost with the event loop that already ended: the process ends with 0.
TEST(Quit, AQuitAnsweredWhileARestartFinishesEndsTheProcess)
{
    ServiceProcess service;
    service.environment().insert("QM_SIM_BENCH", defaultBench());
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();

    std::string lastByte;
    HttpTestClient quitting(port);
    ASSERT_TRUE(quitting.sendRaw(requestWithoutLastByte("application.quit", &lastByte)));
    EXPECT_TRUE(qmtest::rpcCall(port, "application.restart").contains("result"));
    // The restart waits for the quit's last byte.
    ASSERT_TRUE(tarvesk::test::waitUntil(
        [&] { return service.log().contains("Stopping HTTP server at port"); }, 60000));
    ASSERT_TRUE(quitting.sendRaw(lastByte));
    const qmtest::HttpReply reply = quitting.readReply(false);
    EXPECT_NE(reply.body.find("Quit"), std::string::npos) << reply.body;
    EXPECT_EQ(service.waitForExit(60000), 0);
    EXPECT_EQ(service.log().count("HTTP started at port"), 1);
}

// Five in-process restarts: same process, same port, one "USB" universe, and
// no thread left over from an earlier pass, also of the boxes found before a restart.
TEST(Restart, FiveCyclesKeepOneProcessOneUsbUniverseAndNoStrayThreads)
{
    ServiceProcess service;
    service.environment().insert("QM_SIM_BENCH", defaultBench());
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    const QJsonObject first = call(port, "application.restart");
    ASSERT_EQ(first.value("result").toObject().value("status").toString(), "ok")
        << QJsonDocument(first).toJson(QJsonDocument::Compact).toStdString();
    const qint64 pid = service.pid();
    const auto passesStarted = [&] { return service.log().count("HTTP started at port"); };
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return passesStarted() == 2; }, 60000))
        << service.log().toStdString();

    int threadsAfterFirstRestart = -1;
    for (int cycle = 2; cycle <= 5; ++cycle) {
        ASSERT_TRUE(tarvesk::test::waitUntil([&] { return qmtest::portAcceptsConnections(port); }, 60000));
        if (threadsAfterFirstRestart < 0)
            threadsAfterFirstRestart = service.threadCount();
        const QJsonObject found = call(port, "universe.search", R"({"interface_type": "usb"})");
        EXPECT_EQ(found.value("result").toArray().size(), 2) << cycle;
        const QJsonObject reply = call(port, "application.restart");
        EXPECT_EQ(reply.value("result").toObject().value("status").toString(), "ok") << cycle;
        ASSERT_TRUE(tarvesk::test::waitUntil([&] { return passesStarted() == cycle + 1; }, 60000)) << cycle;
    }
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return qmtest::portAcceptsConnections(port); }, 60000));
    EXPECT_TRUE(service.isRunning());
    EXPECT_EQ(service.pid(), pid);
    EXPECT_EQ(service.log().count("QMS service finished. return_value:  1337"), 5);
    // Every pass let go of its boxes before it closed the USB library.
    EXPECT_EQ(service.log().count("devices still hold it"), 0);
    // Connection threads of the requests above end with their connections.
    EXPECT_TRUE(
        tarvesk::test::waitUntil([&] { return service.threadCount() <= threadsAfterFirstRestart; }, 30000))
        << service.threadCount() << " threads, " << threadsAfterFirstRestart << " after the first restart";
    EXPECT_EQ(usbUniverseCount(port), 1);

    const QJsonObject quit = call(port, "application.quit");
    EXPECT_TRUE(quit.contains("result")) << QJsonDocument(quit).toJson(QJsonDocument::Compact).toStdString();
    EXPECT_EQ(service.waitForExit(60000), 0);
}
