// Resident memory of the service while many clients fetch the /debug page of
// a full log at once: its peak over idle for 1, 4, 16 and 64 pages at once,
// and what stays resident 5 s later.

#include "bench_support.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// About 9.8 MB of log lines as the service writes them, whose text escaping
// lengthens three times ("x<&>" becomes "x&lt;&amp;&gt;").
void writeEscapeHeavyLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QByteArray line = "commonapp: INFO || 10.12.2026 12:00:00 || application_log.cpp (40) || ";
    while (line.size() < 1000)
        line += "x<&>";
    line += '\n';
    QByteArray block;
    while (block.size() < 980000)
        block += line;
    for (int i = 0; i < 10; ++i)
        file.write(block);
}

// Lets the kernel start counting the process's peak resident size afresh.
bool resetPeak(qint64 pid)
{
    QFile clearRefs(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

struct Pages
{
    int whole = 0;     // replies of status 200 that end with the page's end
    bool alike = true; // every page holds the whole log as the first one does
};

// `clients` clients, each on a connection of its own, ask for /debug at the
// same moment and read their page; each page is checked against the first
// logEnd bytes of `reference` as it arrives and then dropped.
Pages fetchAtOnce(int port, int clients, const std::string& reference)
{
    struct Page
    {
        size_t size = 0;
        bool whole = false;
        bool alike = false;
    };
    std::vector<Page> results(static_cast<size_t>(clients));
    std::atomic<int> connected {0};
    std::atomic<bool> go {false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const int fd = qmbench::connectLoopback(port);
            ++connected;
            while (!go)
                std::this_thread::yield();
            std::string buffer;
            std::string body;
            Page& page = results[size_t(c)];
            if (fd >= 0 && qmbench::sendAll(fd, "GET /debug HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                && qmbench::readReply(fd, buffer, &body) == 200) {
                const std::string tail = "</body>\n</html>\n";
                page.size = body.size();
                page.whole = body.size() >= tail.size()
                    && body.compare(body.size() - tail.size(), tail.size(), tail) == 0;
                // The service's own lines may follow the log written before.
                page.alike = body.compare(0, reference.size(), reference) == 0;
            }
            if (fd >= 0)
                ::close(fd);
        });
    }
    while (connected < clients)
        std::this_thread::yield();
    go = true;
    for (auto& thread : threads)
        thread.join();
    Pages pages;
    for (const Page& page : results) {
        pages.whole += page.whole ? 1 : 0;
        pages.alike = pages.alike && page.alike;
    }
    return pages;
}

double mb(long kb)
{
    return double(kb) / 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QString binary = QCoreApplication::applicationDirPath() + "/../quinmark-server";
    if (const int at = arguments.indexOf("--server"); at >= 0 && at + 1 < arguments.size())
        binary = arguments.at(at + 1);
    std::vector<int> counts {1, 4, 16, 64};
    if (const int at = arguments.indexOf("--clients"); at >= 0 && at + 1 < arguments.size())
        counts = {arguments.at(at + 1).toInt()};

    qmbench::ServiceProcess service;
    if (!service.start(binary))
        return 1;
    writeEscapeHeavyLog(service.logPath());
    const qint64 logSize = QFile(service.logPath()).size();
    // The page up to the end of the log written: its head and escaped lines.
    std::string reference;
    {
        const int fd = qmbench::connectLoopback(service.port());
        std::string buffer;
        std::string body;
        if (fd < 0 || !qmbench::sendAll(fd, "GET /debug HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            || qmbench::readReply(fd, buffer, &body) != 200) {
            std::fprintf(stderr, "no /debug page\n");
            return 1;
        }
        ::close(fd);
        const size_t lastLine = body.rfind("x&lt;&amp;&gt;<br>");
        reference = body.substr(0, lastLine == std::string::npos ? 0 : lastLine + 18);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long idle = qmbench::procStatusKb(service.pid(), "VmRSS");
    std::printf("log of %lld bytes, page of about %zu bytes; idle VmRSS %.1f MB\n", logSize, reference.size(),
        mb(idle));
    std::printf(
        "%8s %16s %18s %7s %6s\n", "clients", "peak over idle", "5 s later, over idle", "whole", "alike");
    for (const int clients : counts) {
        const long before = qmbench::procStatusKb(service.pid(), "VmRSS");
        if (!resetPeak(service.pid()))
            std::fprintf(stderr, "cannot reset the peak; it is the peak since start\n");
        const Pages pages = fetchAtOnce(service.port(), clients, reference);
        const long peak = qmbench::procStatusKb(service.pid(), "VmHWM");
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const long after = qmbench::procStatusKb(service.pid(), "VmRSS");
        std::printf("%8d %13.1f MB %17.1f MB %4d/%-3d %5s   (VmRSS before %.1f MB)\n", clients,
            mb(peak - idle), mb(after - idle), pages.whole, clients, pages.alike ? "yes" : "no", mb(before));
    }
    service.stop();
    return 0;
}
