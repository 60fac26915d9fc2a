// Resident memory of the service after bursts of concurrent large requests:
// every connection has a thread of its own, and memory a burst leaves behind
// in the allocator stays resident while the service idles. With --hold N, what
// N idle connections cost instead.

#include "bench_support.h"

#include <QCoreApplication>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A JSON-RPC request of about `size` bytes, padded with a parameter that the
// method refuses after parsing: one long string, or (many) an array of small
// numbers, whose parsed form costs many small allocations.
std::string paddedRequest(const std::string& method, size_t size, bool many)
{
    const std::string head
        = R"({"jsonrpc": "2.0", "id": 1, "method": ")" + method + R"(", "params": {"pad": )";
    const std::string tail = "}}";
    const size_t room = size > head.size() + tail.size() + 2 ? size - head.size() - tail.size() - 2 : 0;
    std::string pad;
    if (many) {
        pad.reserve(room + 2);
        pad += '[';
        while (pad.size() + 2 < room + 1)
            pad += "0,";
        pad += "0]";
    } else {
        pad = '"' + std::string(room, 'x') + '"';
    }
    return head + pad + tail;
}

// One burst: every client connects, then all send their request at once and
// wait for the reply. Returns the count of each status (-1: no reply).
std::map<int, int> burst(int port, int clients, const std::string& request)
{
    std::mutex mutex;
    std::map<int, int> statuses;
    std::atomic<int> connected {0};
    std::atomic<bool> go {false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            const int fd = qmbench::connectLoopback(port);
            ++connected;
            while (!go)
                std::this_thread::yield();
            int status = -1;
            std::string buffer;
            if (fd >= 0 && qmbench::sendAll(fd, request))
                status = qmbench::readReply(fd, buffer);
            if (fd >= 0)
                ::close(fd);
            std::lock_guard<std::mutex> lock(mutex);
            ++statuses[status];
        });
    }
    while (connected < clients)
        std::this_thread::yield();
    go = true;
    for (auto& thread : threads)
        thread.join();
    return statuses;
}

double mb(long kb)
{
    return double(kb) / 1024.0;
}

// Idle connections held by one client, as many as asked: each costs the
// service a thread and its stack. Prints what the service holds with them
// open and once they are closed again.
void holdIdleConnections(const qmbench::ServiceProcess& service, int count)
{
    rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> held;
    for (int i = 0; i < count; ++i) {
        const int fd = qmbench::connectLoopback(service.port());
        if (fd < 0)
            break;
        held.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::vector<pollfd> polled;
    for (const int fd : held)
        polled.push_back({fd, POLLIN | POLLRDHUP, 0});
    ::poll(polled.data(), polled.size(), 0);
    int closed = 0;
    for (const pollfd& entry : polled)
        closed += entry.revents != 0 ? 1 : 0;
    std::printf(
        "%zu idle connections:  VmRSS %7.1f MB   VmSize %7.1f MB   threads %ld   closed by the service %d\n",
        held.size(), mb(qmbench::procStatusKb(service.pid(), "VmRSS")),
        mb(qmbench::procStatusKb(service.pid(), "VmSize")), qmbench::procStatusKb(service.pid(), "Threads"),
        closed);
    for (const int fd : held)
        ::close(fd);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("closed again, idle:    VmRSS %7.1f MB   threads %ld\n",
        mb(qmbench::procStatusKb(service.pid(), "VmRSS")), qmbench::procStatusKb(service.pid(), "Threads"));
}

// Restarts ("application.restart"), each asked for while `clients`
// connections send a small request at once (none with burst false). Prints
// what the service holds once it answers again and has settled.
void restartRounds(
    const qmbench::ServiceProcess& service, int clients, int rounds, bool withBurst, int restartDelayMs)
{
    rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    const std::string request = qmbench::postText(service.port(),
        R"({"jsonrpc": "2.0", "id": 1, "method": "system.listMethods", "params": {}})");
    std::printf("%d restarts, each %s\n", rounds,
        withBurst ? qPrintable(QString("during a burst of %1 connections").arg(clients)) : "on its own");
    std::printf("idle after start-up:    VmRSS %7.1f MB\n", mb(qmbench::procStatusKb(service.pid(), "VmRSS")));
    for (int round = 1; round <= rounds; ++round) {
        std::thread restart([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(restartDelayMs));
            qmbench::rpc(service.port(), "application.restart");
        });
        std::map<int, int> statuses;
        if (withBurst)
            statuses = burst(service.port(), clients, request);
        restart.join();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!qmbench::rpc(service.port(), "system.listMethods").contains("result")
            && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // The connections of the burst are being closed and their threads end.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        std::printf("after restart %d, idle: VmRSS %7.1f MB   threads %ld   statuses", round,
            mb(qmbench::procStatusKb(service.pid(), "VmRSS")), qmbench::procStatusKb(service.pid(), "Threads"));
        for (const auto& [status, count] : statuses)
            std::printf(" %d:%d", status, count);
        std::printf("\n");
    }
}

int argument(const QStringList& arguments, const QString& name, int fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int clients = argument(arguments, "--clients", 32);
    const int size = argument(arguments, "--size", 1 << 20);
    const int rounds = argument(arguments, "--rounds", 3);
    const bool many = !arguments.contains("--string");
    QString binary = QCoreApplication::applicationDirPath() + "/../quinmark-server";
    if (const int at = arguments.indexOf("--server"); at >= 0 && at + 1 < arguments.size())
        binary = arguments.at(at + 1);

    qmbench::ServiceProcess service;
    if (!service.start(binary))
        return 1;
    if (const int hold = argument(arguments, "--hold", 0); hold > 0) {
        std::printf(
            "idle after start-up:  VmRSS %7.1f MB\n", mb(qmbench::procStatusKb(service.pid(), "VmRSS")));
        holdIdleConnections(service, hold);
        service.stop();
        return 0;
    }
    if (const int restarts = argument(arguments, "--restarts", 0); restarts > 0) {
        restartRounds(service, argument(arguments, "--clients", 2049), restarts, !arguments.contains("--plain"),
            argument(arguments, "--restart-delay", 0));
        if (const int pause = argument(arguments, "--pause", 0); pause > 0) {
            // Time to look at the service from outside (/proc/<pid>/smaps, gdb).
            std::printf("service pid %lld, stopped in %d s\n", static_cast<long long>(service.pid()), pause);
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::seconds(pause));
        }
        service.stop();
        return 0;
    }
    const std::string request
        = qmbench::postText(service.port(), paddedRequest("system.listMethods", size_t(size), many));

    std::printf("%d concurrent clients x 1 request of %zu bytes (%s) per round\n", clients, request.size(),
        many ? "array of numbers" : "one string");
    std::printf("idle after start-up:  VmRSS %7.1f MB\n", mb(qmbench::procStatusKb(service.pid(), "VmRSS")));
    for (int round = 1; round <= rounds; ++round) {
        const auto statuses = burst(service.port(), clients, request);
        // The replies are out; the connections are still being closed. What
        // counts is what stays once the service is idle again.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf("after round %d, idle:  VmRSS %7.1f MB   VmHWM %7.1f MB   statuses", round,
            mb(qmbench::procStatusKb(service.pid(), "VmRSS")),
            mb(qmbench::procStatusKb(service.pid(), "VmHWM")));
        for (const auto& [status, count] : statuses)
            std::printf(" %d:%d", status, count);
        std::printf("\n");
    }
    service.stop();
    return 0;
}
