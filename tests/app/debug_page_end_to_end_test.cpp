#include "http_test_client.h"
#include "service_process.h"
#include "wait_until.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using qmtest::HttpReply;
using qmtest::HttpTestClient;
using qmtest::ServiceProcess;

namespace {

long statusKb(qint64 pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// From now on VmHWM is the peak since this call; false when the kernel does not allow it.
bool resetPeak(qint64 pid)
{
    QFile clearRefs(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

// Any web page may make a browser fetch /debug (the replies allow every
// origin), as many times at once as it likes. The page of a full log is tens
// of megabytes; what the service holds for it must not grow with the number
// of clients fetching it.
TEST(DebugPage, ManyClientsAtOnceCostTheServiceNoMoreThanAFew)
{
    ServiceProcess service;
    // The sanitizer's allocator holds freed memory back for a while; a small
    // quarantine lets the process's size show what is live.
    QProcessEnvironment& env = service.environment();
    env.insert("ASAN_OPTIONS",
        env.value("ASAN_OPTIONS") + ":quarantine_size_mb=16:thread_local_quarantine_size_kb=256");
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServingOnBench(port, R"({"boxes": []})"))
        << service.standardError().toStdString();

    // About 9.8 MB of log lines whose text escaping makes three times as long.
    const QByteArray prefix = "commonapp: INFO || 10.12.2026 12:00:00 || application_log.cpp (40) || ";
    const QByteArray line = prefix + QByteArray("x<&>").repeated(232) + "\n";
    const int lines = 9800000 / line.size();
    {
        QFile log(service.logPath());
        ASSERT_TRUE(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (int i = 0; i < lines; ++i)
            ASSERT_EQ(log.write(line), line.size());
    }
    const std::string escapedLine
        = prefix.toStdString() + QByteArray("x&lt;&amp;&gt;").repeated(232).toStdString() + "<br>";
    // Whole and the same for every client: the written log, escaped, after
    // the head; the service's own later lines may follow it.
    const auto pageIsWhole = [&](const HttpReply& page) {
        const size_t start = page.body.find("<body>\n");
        if (!page.ok || page.status != 200 || start == std::string::npos)
            return false;
        size_t at = start + 7;
        for (int i = 0; i < lines; ++i, at += escapedLine.size()) {
            if (page.body.compare(at, escapedLine.size(), escapedLine) != 0)
                return false;
        }
        const std::string tail = "</body>\n</html>\n";
        return page.body.size() >= at + tail.size()
            && page.body.compare(page.body.size() - tail.size(), tail.size(), tail) == 0;
    };
    {
        HttpTestClient client(port, std::chrono::seconds(60));
        ASSERT_TRUE(pageIsWhole(client.request("GET", "/debug")));
    }

    const long idleKb = statusKb(service.pid(), "VmRSS");
    ASSERT_GT(idleKb, 0);
    const bool peakReset = resetPeak(service.pid());
    constexpr int Clients = 16;
    std::vector<std::unique_ptr<HttpTestClient>> clients;
    for (int c = 0; c < Clients; ++c) {
        clients.push_back(std::make_unique<HttpTestClient>(port, std::chrono::seconds(60)));
        ASSERT_TRUE(clients.back()->connect());
    }
    for (auto& client : clients)
        ASSERT_TRUE(client->sendRaw("GET /debug HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    // Every reply has begun before any is read on: a page made whole before
    // its first byte goes out is then held for every client at once.
    for (auto& client : clients)
        ASSERT_TRUE(client->awaitReplyStart());
    std::atomic<int> whole {0};
    std::vector<std::thread> readers;
    for (auto& client : clients) {
        readers.emplace_back([&, reader = client.get()] {
            if (pageIsWhole(reader->readReply(false)))
                ++whole;
        });
    }
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(whole, Clients);

    // Each page is about 30 MB: held for each client, the growth would be
    // fifteen times that; what building a page needs is a few buffers.
    const long peakKb = statusKb(service.pid(), "VmHWM");
    const long growthMb = (peakKb - idleKb) / 1024;
    EXPECT_LE(growthMb, 160) << "peak " << peakKb / 1024 << " MB over idle " << idleKb / 1024
                             << " MB; peak since " << (peakReset ? "the fetch began" : "start-up");
}
