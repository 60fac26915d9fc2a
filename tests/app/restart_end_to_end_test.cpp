#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "wait_until.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

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

} // namespace

// Five in-process restarts: same process, same port, one "USB" universe, and
// no thread left over from an earlier pass, also of the boxes found before a restart.
TEST(Restart, FiveCyclesKeepOneProcessOneUsbUniverseAndNoStrayThreads)
{
    ServiceProcess service;
    service.environment().insert(
        "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
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
