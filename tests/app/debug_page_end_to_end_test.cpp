#include "http_test_client.h"
#include "service_process.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// Appends numbered lines of a warning with that text to the log, as the
// service writes them, until the log holds at least size bytes.
void fillLog(const QString& path, const QByteArray& text, qint64 size)
{
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::WriteOnly | QIODevice::Append));
    const QByteArray padding(120, 'x');
    for (int i = 0; log.size() < size; ++i) {
        const QByteArray line = "logger.glog: WARN || 10.12.2026 12:00:00 || filler.cpp (1) || " + text + ' '
            + QByteArray::number(i).rightJustified(7, '0') + ' ' + padding + '\n';
        ASSERT_EQ(log.write(line), line.size());
    }
}

// The descriptors of the process open on that file.
int descriptorsOn(qint64 pid, const QString& path)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    for (const QFileInfo& fd : QDir(fds).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        count += fd.symLinkTarget() == target;
    return count;
}

int descriptorsOf(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

const std::string PageTail = "</body>\n</html>\n";
const char RotatedLine[] = "*** The log was rotated while this page was read: the page ends here. The rest of the "
                           "old log is in its backup file (.bak); a new page shows the new log. ***";

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

// The quota rotation empties the log and the service logs on into it: a page
// begun before, read slowly, must end at the rotation, closed, and never read
// on at its old offset into the new log.
TEST(DebugPage, APageReadAcrossARotationEndsThereWithoutLaterText)
{
    ServiceProcess service;
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServingOnBench(port, R"({"boxes": []})"))
        << service.standardError().toStdString();
    const qint64 quota = 10485760;
    fillLog(service.logPath(), "before", quota - 200000);

    // Clients that read little: the service makes a page only as far as they take it.
    const char* paths[] = {"/debug", "/debug/warning"};
    std::vector<std::unique_ptr<HttpTestClient>> readers;
    for (const char* path : paths) {
        readers.push_back(std::make_unique<HttpTestClient>(port, std::chrono::seconds(60)));
        readers.back()->setReceiveBuffer(4096);
        ASSERT_TRUE(readers.back()->sendRaw(std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        // The page has begun on the log.
        ASSERT_TRUE(readers.back()->awaitText("|| before 0000000 x")) << path;
    }

    // Over the quota: the next line the service logs rotates the log.
    fillLog(service.logPath(), "before", quota + 1);
    HttpTestClient client(port);
    EXPECT_EQ(client.request("GET", "/rotate-the-log").status, 404);
    ASSERT_TRUE(QFile::exists(service.logPath() + ".bak"));
    ASSERT_LT(QFileInfo(service.logPath()).size(), 100000);
    // Text logged after the rotation, beyond where the pages had read to.
    fillLog(service.logPath(), "after-rotation", 4000000);

    for (size_t i = 0; i < readers.size(); ++i) {
        const HttpReply page = readers[i]->readReply(false);
        ASSERT_TRUE(page.ok) << paths[i];
        EXPECT_EQ(page.status, 200);
        EXPECT_NE(page.body.find("|| before 0000100 x"), std::string::npos) << paths[i];
        EXPECT_EQ(page.body.find("after-rotation"), std::string::npos) << paths[i];
        // Its last line says why it ends there.
        EXPECT_TRUE(endsWith(page.body, "<br>" + std::string(RotatedLine) + "<br>" + PageTail))
            << paths[i] << ": " << page.body.substr(page.body.size() - 300);
    }
}

// Pages whose clients stop reading must not use up the descriptors kept for
// the service's own files: below the connection bound, every page is served,
// and the log, which a file that cannot be opened would switch off for good,
// is still written afterwards.
TEST(DebugPage, StalledPagesLeaveTheServiceItsDescriptors)
{
    ServiceProcess service;
    // The service takes up to 128 connections at once under this limit.
    service.setDescriptorLimit(256);
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServingOnBench(port, R"({"boxes": []})"))
        << service.standardError().toStdString();
    fillLog(service.logPath(), "stalled", 2000000);

    constexpr int Readers = 100;
    std::vector<std::unique_ptr<HttpTestClient>> readers;
    for (int i = 0; i < Readers; ++i) {
        readers.push_back(std::make_unique<HttpTestClient>(port, std::chrono::seconds(60)));
        readers.back()->setReceiveBuffer(4096);
        ASSERT_TRUE(readers.back()->sendRaw("GET /debug/warning HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    }
    int served = 0;
    for (auto& reader : readers)
        served += reader->awaitStatus() == 200;
    EXPECT_EQ(served, Readers);

    // Stalled pages hold no log file; the service has room to spare.
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return descriptorsOn(service.pid(), service.logPath()) == 0; }))
        << descriptorsOn(service.pid(), service.logPath()) << " descriptors on the log";
    EXPECT_LE(descriptorsOf(service.pid()), 256 - 64);

    readers.clear();
    HttpTestClient client(port);
    EXPECT_EQ(client.request("GET", "/after-the-stalled-pages").status, 404);
    // Logged before the reply went out.
    EXPECT_TRUE(service.log().contains("/after-the-stalled-pages")) << service.standardError().right(2000).toStdString();
}

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
    EXPECT_EQ(whole, Clients) << service.log().right(3000).toStdString();

    // Each page is about 30 MB: held for each client, the growth would be
    // fifteen times that; what building a page needs is a few buffers.
    const long peakKb = statusKb(service.pid(), "VmHWM");
    const long growthMb = (peakKb - idleKb) / 1024;
    EXPECT_LE(growthMb, 160) << "peak " << peakKb / 1024 << " MB over idle " << idleKb / 1024
                             << " MB; peak since " << (peakReset ? "the fetch began" : "start-up");
}
