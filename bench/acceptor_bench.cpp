// The HTTP server's cost per accepted connection while it holds 10, 1,000 and
// 2,048 idle connections: once where each new connection is turned away at the
// bound (the bound is what is held), once where it is handed over to
// libmicrohttpd (the bound leaves room). The server runs in this process; the
// time of the acceptor's thread comes from the system's count of its run time.
// See README.md here.

#include "network/connection_ledger.h"
#include "network/http_server.h"

#include "bench_support.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The run time of this process's thread of that name, in nanoseconds; -1
// when there is none.
long long threadRunTime(const char* name)
{
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return -1;
    long long time = -1;
    while (const dirent* task = ::readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        const std::string folder = std::string("/proc/self/task/") + task->d_name;
        std::string comm;
        std::getline(std::ifstream(folder + "/comm"), comm);
        if (comm != name)
            continue;
        std::ifstream(folder + "/schedstat") >> time;
        break;
    }
    ::closedir(tasks);
    return time;
}

struct Figures
{
    double medianUs = 0;
    double p99Us = 0;
    double acceptorUs = -1; // run time of the acceptor's thread per connection
};

// `count` connections one after the other, each sending `sent` and waiting
// until the server has closed it.
Figures measure(int port, int count, const std::string& sent)
{
    std::vector<double> latencies;
    latencies.reserve(size_t(count));
    const long long before = threadRunTime("qm-accept");
    for (int i = 0; i < count; ++i) {
        const auto begun = Clock::now();
        const int fd = qmbench::connectLoopback(port);
        if (fd < 0)
            continue;
        if (!sent.empty())
            qmbench::sendAll(fd, sent);
        char byte = 0;
        while (::recv(fd, &byte, 1, 0) > 0) { }
        ::close(fd);
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begun).count());
    }
    const long long after = threadRunTime("qm-accept");
    Figures figures;
    if (latencies.empty())
        return figures;
    std::sort(latencies.begin(), latencies.end());
    figures.medianUs = latencies[latencies.size() / 2];
    figures.p99Us = latencies[latencies.size() * 99 / 100];
    if (before >= 0 && after >= 0)
        figures.acceptorUs = double(after - before) / 1000.0 / double(latencies.size());
    return figures;
}

// A server holding `held` idle connections with room for `room` more.
Figures run(int held, int room, int count, const std::string& sent)
{
    using tarvesk::network::HttpServer;
    HttpServer server(qmbench::freePort());
    server.setConnectionLimit(held + room);
    server.setIdleTimeout(std::chrono::seconds(600));
    server.setRequestArrivalTimeout(std::chrono::minutes(10));
    if (!server.start()) {
        std::fprintf(stderr, "the server did not start\n");
        std::exit(1);
    }
    std::vector<int> holders;
    for (int i = 0; i < held; ++i) {
        const int fd = qmbench::connectLoopback(server.getPort());
        if (fd >= 0)
            holders.push_back(fd);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (server.openConnections() < int(holders.size()) && Clock::now() < deadline)
        ::usleep(1000);
    if (server.openConnections() < held)
        std::fprintf(stderr, "only %d of %d connections held\n", server.openConnections(), held);
    const Figures figures = measure(server.getPort(), count, sent);
    for (const int fd : holders)
        ::close(fd);
    server.stop();
    return figures;
}

// The ledger alone, `held` connections handed over and none taken up (the
// daemon behind): ns per connection turned away at the bound, and per
// connection admitted and closed again with the bound one short. Each look
// for a dropped hand-over is an fstat(), as in the service.
void ledgerRows(int held)
{
    using tarvesk::network::ConnectionLedger;
    const auto stillHeld = [](int, const ConnectionLedger::Identity&) {
        struct stat status {};
        ::fstat(STDIN_FILENO, &status);
        return true;
    };
    constexpr int rounds = 200000;
    ConnectionLedger full(held, 32, stillHeld);
    for (int socket = 0; socket < held; ++socket)
        full.admit(socket, {1, ino_t(socket)});
    auto begun = Clock::now();
    for (int i = 0; i < rounds; ++i)
        full.admit(held + 1, {1, ino_t(held + 1)});
    const double turnedAway = std::chrono::duration<double, std::nano>(Clock::now() - begun).count() / rounds;
    ConnectionLedger room(held, 32, stillHeld);
    for (int socket = 0; socket + 1 < held; ++socket)
        room.admit(socket, {1, ino_t(socket)});
    begun = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        room.admit(held, {1, ino_t(held)});
        room.opened(held);
        room.closed(held);
    }
    const double cycle = std::chrono::duration<double, std::nano>(Clock::now() - begun).count() / rounds;
    std::printf("%-6d %-12s %18.0f %22.0f\n", held, "ledger", turnedAway, cycle);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    int count = 5000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--connections") == 0)
            count = std::atoi(argv[i + 1]);
    }
    rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 2 * 2048 + 512) {
        std::fprintf(stderr, "needs a limit of %d open files (ulimit -Hn)\n", 2 * 2048 + 512);
        return 1;
    }
    // Without a session factory every request is dropped: the server closes
    // the connection once it has read the request.
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::printf("%d connections one after another per row; us per connection (client: connect to close)\n", count);
    std::printf("%-6s %-12s %12s %12s %14s\n", "held", "connection", "client p50", "client p99", "acceptor");
    for (const int held : {10, 1000, 2048}) {
        const Figures refused = run(held, 0, count, std::string());
        std::printf("%-6d %-12s %12.1f %12.1f %14.2f\n", held, "turned away", refused.medianUs, refused.p99Us,
            refused.acceptorUs);
        const Figures served = run(held, 64, count, request);
        std::printf("%-6d %-12s %12.1f %12.1f %14.2f\n", held, "handed over", served.medianUs, served.p99Us,
            served.acceptorUs);
    }
    std::printf("\nthe ledger alone, all held connections waiting to be taken up; ns per connection\n");
    std::printf("%-6s %-12s %18s %22s\n", "held", "", "turned away", "admitted and closed");
    for (const int held : {10, 1000, 2048})
        ledgerRows(held);
    return 0;
}
