#include "held_connections.h"
#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <sys/resource.h>
#include <unistd.h>

using qmtest::HeldConnections;
using qmtest::RaisedDescriptorLimit;
using qmtest::ServiceProcess;

namespace {

constexpr int HeldCount = 1100;

// The soft and hard "Max open files" of a process, from /proc.
std::pair<QString, QString> descriptorLimitsOf(qint64 pid)
{
    QFile limits(QString("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpressionMatch match = QRegularExpression("Max open files\\s+(\\S+)\\s+(\\S+)")
                                              .match(QString::fromLatin1(limits.readAll()));
    return {match.captured(1), match.captured(2)};
}

// The threads that libmicrohttpd runs for connections, one each.
int connectionThreadsOf(qint64 pid)
{
    const QString tasks = QString("/proc/%1/task").arg(pid);
    int count = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks + "/" + task + "/comm");
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "MHD-connection")
            ++count;
    }
    return count;
}

// The connections the service holds: its open sockets but the one it listens
// on. One whose client closed it is held until libmicrohttpd has cleaned it up
// and closed its socket, which it does a while after the connection's thread
// ended: only then is it off the service's count of connections.
int connectionSocketsOf(qint64 pid)
{
    const QString fds = QString("/proc/%1/fd").arg(pid);
    int sockets = 0;
    for (const QString& fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[64] = {};
        const ssize_t size = ::readlink(QFile::encodeName(fds + "/" + fd).constData(), target, sizeof target - 1);
        if (size > 0 && std::strncmp(target, "socket:", 7) == 0)
            ++sockets;
    }
    return sockets - 1;
}

// The service started with a soft descriptor limit of 1024 or less, as a shell
// often hands it down: the limit of this process is lowered while it starts.
bool startWithUsualSoftLimit(ServiceProcess& service, int port)
{
    rlimit own {};
    getrlimit(RLIMIT_NOFILE, &own);
    rlimit lowered = own;
    lowered.rlim_cur = std::min<rlim_t>(own.rlim_cur, 1024);
    setrlimit(RLIMIT_NOFILE, &lowered);
    const bool started = service.startServing(port, {"-d"});
    setrlimit(RLIMIT_NOFILE, &own);
    return started;
}

} // namespace

// One local process holding 1,100 idle connections (more than select() could
// watch) does not lock the other clients out, and the service writes nothing
// for them: no line per connection on standard error or in the log.
TEST(ConnectionsEndToEnd, OtherClientsAreAnsweredWhileOneProcessHoldsManyConnections)
{
    RaisedDescriptorLimit raised;
    std::string why;
    // The service, with the same hard limit, needs its reserve beside them.
    if (!raised.allows(HeldCount + 512, &why))
        GTEST_SKIP() << "Cannot hold " << HeldCount << " connections here: " << why;

    ServiceProcess service;
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(startWithUsualSoftLimit(service, port)) << service.standardError().toStdString();
    // It raised its soft limit to the hard one.
    const auto [soft, hard] = descriptorLimitsOf(service.pid());
    EXPECT_FALSE(hard.isEmpty());
    EXPECT_EQ(soft, hard);

    ASSERT_TRUE(qmtest::rpcCall(port, "system.listMethods").contains("result"));
    const auto connectionThreads = [&] { return connectionThreadsOf(service.pid()); };
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return connectionThreads() == 0; }, 30000));
    const int baseErrorLines = service.standardError().count('\n');
    const int baseLogLines = service.log().count('\n');

    HeldConnections held;
    ASSERT_TRUE(held.open(port, HeldCount));
    // A thread for each connection: all of them were accepted, none is
    // waiting in the listen queue.
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return connectionThreads() == HeldCount; }, 60000))
        << connectionThreads() << " connection threads\n"
        << service.standardError().right(3000).toStdString();

    for (int i = 0; i < 3; ++i) {
        const QJsonObject reply = qmtest::rpcCall(port, "system.listMethods");
        EXPECT_TRUE(reply.contains("result")) << i;
    }
    EXPECT_EQ(held.closedByPeer(), 0);
    EXPECT_TRUE(service.isRunning());

    const QStringList newErrorLines = service.standardError().split('\n').mid(baseErrorLines);
    EXPECT_LT(newErrorLines.size(), 10) << newErrorLines.join('\n').left(2000).toStdString();
    EXPECT_FALSE(service.standardError().contains("FD_SETSIZE"));
    EXPECT_LT(service.log().count('\n') - baseLogLines, 10);

    held.closeAll();
    EXPECT_TRUE(qmtest::rpcCall(port, "system.listMethods").contains("result"));
}

// A burst just past the connection bound, opened without pause, held and
// closed, leaves the service answering: its connection threads end, and a
// restart and a quit still work. Under a limit of 256 open files the bound is
// 128; the daemon locked up for good when it found its own limit reached while
// it was still taking up connections handed over to it.
TEST(ConnectionsEndToEnd, ABurstPastTheBoundLeavesTheServiceAnswering)
{
    constexpr int bound = 128;
    ServiceProcess service;
    service.setDescriptorLimit(256);
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServingOnBench(port, R"({"boxes": []})")) << service.standardError().toStdString();
    EXPECT_EQ(descriptorLimitsOf(service.pid()), std::make_pair(QString("256"), QString("256")));
    const auto connectionThreads = [&] { return connectionThreadsOf(service.pid()); };
    ASSERT_TRUE(qmtest::rpcCall(port, "system.listMethods").contains("result"));
    EXPECT_TRUE(tarvesk::test::waitUntil(
        [&] { return service.log().contains(QString("takes up to %1 connections at once").arg(bound)); }));

    const auto answered = [&] { return qmtest::rpcCall(port, "system.listMethods").contains("result"); };
    const auto connectionsHeld = [&] { return connectionSocketsOf(service.pid()); };
    for (int round = 0; round < 3; ++round) {
        // The last round's connections are gone, cleaned up and closed by the
        // service, not only their threads ended: this burst is past the bound.
        ASSERT_TRUE(tarvesk::test::waitUntil([&] { return connectionsHeld() == 0; }, 30000))
            << round << ": " << connectionsHeld() << " connections held, " << connectionThreads()
            << " connection threads";
        HeldConnections burst;
        ASSERT_TRUE(burst.open(port, bound + 1)) << round;
        // Held until the service holds the bound and has closed the one over it.
        EXPECT_TRUE(tarvesk::test::waitUntil(
            [&] { return burst.closedByPeer() == 1 && connectionThreads() == bound; }, 20000))
            << round << ": " << connectionThreads() << " connection threads, " << burst.closedByPeer()
            << " closed by the service";
        burst.closeAll();
        // Refused only until the service has seen the burst's connections end.
        EXPECT_TRUE(tarvesk::test::waitUntil(answered, 30000)) << round;
    }
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return connectionThreads() == 0; }, 30000))
        << connectionThreads() << " connection threads";

    EXPECT_TRUE(qmtest::rpcCall(port, "application.restart").contains("result"));
    EXPECT_TRUE(tarvesk::test::waitUntil(answered, 60000));
    EXPECT_TRUE(qmtest::rpcCall(port, "application.quit").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().right(3000).toStdString();
}

// Under a limit of open files so low that the descriptors the idle service
// holds leave none for a connection beside its own files, the service does
// not start, and says why; a burst would otherwise take the log's descriptor.
TEST(ConnectionsEndToEnd, ALimitThatLeavesNoRoomForAConnectionStopsTheStart)
{
    ServiceProcess service;
    service.setDescriptorLimit(16);
    QFile bench(service.folder() + "/bench.json");
    ASSERT_TRUE(bench.open(QIODevice::WriteOnly) && bench.write(R"({"boxes": []})") > 0);
    bench.close();
    service.environment().insert("QM_SIM_BENCH", bench.fileName());
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.launch({"-d", "-p", QString::number(port), "-l", service.logPath()}));
    EXPECT_EQ(service.waitForExit(), 1) << service.standardError().toStdString();
    EXPECT_TRUE(service.standardError().contains("Too few open files allowed to serve HTTP: the limit of 16"))
        << service.standardError().toStdString();
    EXPECT_FALSE(qmtest::portAcceptsConnections(port));
}

// Under a low limit the bound leaves the service's own files what they need
// beside the descriptors it holds already: bursts past the bound leave the
// log file written, and every client of after them answered.
TEST(ConnectionsEndToEnd, UnderALowLimitBurstsLeaveTheLogWritten)
{
    constexpr int limit = 32;
    ServiceProcess service;
    service.setDescriptorLimit(limit);
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServingOnBench(port, R"({"boxes": []})")) << service.standardError().toStdString();
    const QRegularExpression takes("takes up to (\\d+) connections at once");
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return takes.match(service.log()).hasMatch(); }));
    const int bound = takes.match(service.log()).captured(1).toInt();
    EXPECT_GE(bound, 1);
    EXPECT_LT(bound, limit / 2); // less than the limit alone allows: the held descriptors count
    for (int round = 0; round < 3; ++round) {
        HeldConnections burst;
        ASSERT_TRUE(burst.open(port, 3 * limit)) << round;
        EXPECT_TRUE(tarvesk::test::waitUntil([&] { return burst.closedByPeer() >= 3 * limit - bound; }, 20000))
            << round << ": " << burst.closedByPeer() << " closed by the service";
        const std::string marker = "text/x-after-burst-" + std::to_string(round);
        burst.closeAll();
        // A refused content type is logged with the client's text in it.
        EXPECT_TRUE(tarvesk::test::waitUntil(
            [&] {
                qmtest::HttpTestClient client(port);
                return client.request("POST", "/", {{"Content-Type", marker}}, "{}").status == 403;
            },
            30000))
            << round;
        EXPECT_TRUE(tarvesk::test::waitUntil([&] { return service.log().contains(QString::fromStdString(marker)); }))
            << round;
    }
    EXPECT_FALSE(service.standardError().contains("Disabled write to log file"))
        << service.standardError().right(3000).toStdString();
    EXPECT_FALSE(service.standardError().contains("Log File could not be opened"));
    EXPECT_TRUE(qmtest::rpcCall(port, "application.quit").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

// Every connection's thread has a stack of a fixed size: the most deeply
// nested request that is taken at all, as parameters or as a profile text,
// is handled on it and answered.
TEST(ConnectionsEndToEnd, TheDeepestRequestFitsTheStackOfAConnectionThread)
{
    ServiceProcess service;
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    const std::string nested = std::string(1023, '[') + std::string(1023, ']');
    EXPECT_TRUE(qmtest::rpcCallText(port, "system.listMethods", nested).contains("result"));
    for (const int depth : {1023, 1024}) {
        const std::string text = std::string(size_t(depth), '[') + std::string(size_t(depth), ']');
        EXPECT_TRUE(qmtest::rpcCallText(port, "profile.load", "{\"profile_data\": \"" + text + "\"}")
                        .contains("result"))
            << depth;
    }
    EXPECT_TRUE(service.isRunning()) << service.standardError().right(3000).toStdString();
}
