// Requests per second and latency of "system.listMethods" over keep-alive
// connections on loopback, for the running service and for a minimal
// libmicrohttpd server in the same threading mode, measured in the same run.

#include "bench_support.h"

#include <QCoreApplication>
#include <QFile>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string Body = R"({"jsonrpc": "2.0", "id": 1, "method": "system.listMethods"})";

std::string requestText(int port)
{
    return qmbench::postText(port, Body);
}

using qmbench::connectLoopback;
using qmbench::freePort;
using qmbench::readReply;

struct Result
{
    double requestsPerSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
    long failures = 0;
    std::map<int, long> statuses;
};

Result load(int port, int connections, int requestsPerConnection, int warmUp)
{
    const std::string request = requestText(port);
    std::vector<std::vector<double>> latencies(static_cast<size_t>(connections));
    std::vector<std::map<int, long>> statuses(static_cast<size_t>(connections));
    std::atomic<long> failures {0};
    std::atomic<int> ready {0};
    std::atomic<bool> go {false};
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&, c] {
            const int fd = connectLoopback(port);
            std::string buffer;
            if (fd < 0) {
                ++failures;
                ++ready;
                return;
            }
            for (int i = 0; i < warmUp; ++i) {
                if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0 || readReply(fd, buffer) < 0)
                    break;
            }
            ++ready;
            while (!go)
                std::this_thread::yield();
            auto& mine = latencies[size_t(c)];
            mine.reserve(size_t(requestsPerConnection));
            for (int i = 0; i < requestsPerConnection; ++i) {
                const auto start = Clock::now();
                int status = -1;
                if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) >= 0)
                    status = readReply(fd, buffer);
                if (status < 0) {
                    ++failures;
                    break;
                }
                mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
                ++statuses[size_t(c)][status];
            }
            ::close(fd);
        });
    }
    while (ready < connections)
        std::this_thread::yield();
    const auto start = Clock::now();
    go = true;
    for (auto& thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    Result result;
    std::vector<double> all;
    for (const auto& each : latencies)
        all.insert(all.end(), each.begin(), each.end());
    for (const auto& each : statuses)
        for (const auto& [status, count] : each)
            result.statuses[status] += count;
    std::sort(all.begin(), all.end());
    if (!all.empty()) {
        result.requestsPerSecond = double(all.size()) / seconds;
        result.p50Us = all[all.size() / 2];
        result.p99Us = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    }
    result.failures = failures;
    return result;
}

// Clients that read the /debug page over and over while a load runs; what
// one page took them, on average.
class DebugPageReaders
{
public:
    DebugPageReaders(int port, int readers)
    {
        for (int r = 0; r < readers; ++r) {
            threads.emplace_back([this, port] {
                const int fd = connectLoopback(port);
                if (fd < 0)
                    return;
                const std::string request = "GET /debug HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
                std::string buffer;
                std::string body;
                while (!stop) {
                    const auto start = Clock::now();
                    if (!qmbench::sendAll(fd, request) || readReply(fd, buffer, &body) != 200)
                        break;
                    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    std::lock_guard<std::mutex> lock(mutex);
                    totalMs += ms;
                    ++pages;
                    pageBytes = body.size();
                }
                ::close(fd);
            });
        }
    }
    ~DebugPageReaders() { finish(); }
    void finish()
    {
        stop = true;
        for (auto& thread : threads)
            thread.join();
        threads.clear();
    }
    void print() const
    {
        if (pages > 0)
            std::printf("  /debug page of %zu bytes: %ld pages read, %.1f ms each on average\n", pageBytes,
                pages, totalMs / double(pages));
    }

private:
    std::vector<std::thread> threads;
    std::atomic<bool> stop {false};
    mutable std::mutex mutex; // guards the figures
    double totalMs = 0;
    long pages = 0;
    size_t pageBytes = 0;
};

// A full log: about 10 MB of lines as the service writes them.
void writeFullLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QByteArray line = "rpc.server: INFO || 09.12.2026 12:00:00 || quinmark_rpc_server.cpp (100) || "
                            "Error executing method device.param.get: <no device> & \"quoted\" text\n";
    QByteArray block;
    while (block.size() < 1000000)
        block += line;
    for (int i = 0; i < 10; ++i)
        file.write(block);
}

// The minimal server: the same libmicrohttpd threading mode, one fixed reply.
std::string g_minimalReply;

MHD_Result minimalAccess(void*, MHD_Connection* connection, const char*, const char*, const char*,
    const char*, size_t* uploadSize, void** context)
{
    if (!*context) {
        *context = connection;
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    MHD_Response* response = MHD_create_response_from_buffer(
        g_minimalReply.size(), const_cast<char*>(g_minimalReply.data()), MHD_RESPMEM_PERSISTENT);
    MHD_add_response_header(response, "Content-Type", "application/json-rpc");
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

void print(const char* name, const Result& r)
{
    std::printf("  %-22s %9.0f req/s   p50 %8.1f us   p99 %8.1f us   failures %ld   statuses", name,
        r.requestsPerSecond, r.p50Us, r.p99Us, r.failures);
    for (const auto& [status, count] : r.statuses)
        std::printf(" %d:%ld", status, count);
    std::printf("\n");
}

int argument(const QStringList& arguments, const QString& name, int fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

QString textArgument(const QStringList& arguments, const QString& name)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

MHD_Daemon* startMinimal(int port)
{
    sockaddr_in bindAddress {};
    bindAddress.sin_family = AF_INET;
    bindAddress.sin_port = htons(uint16_t(port));
    bindAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return MHD_start_daemon(
        MHD_USE_ERROR_LOG | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD, uint16_t(port),
        nullptr, nullptr, &minimalAccess, nullptr, MHD_OPTION_CONNECTION_TIMEOUT, 30u, MHD_OPTION_SOCK_ADDR,
        &bindAddress, MHD_OPTION_END);
}

// The reply the server on port gives to the request, kept as the minimal server's reply.
int probeReply(int port)
{
    const int probe = connectLoopback(port);
    if (probe < 0)
        return -1;
    std::string buffer;
    const std::string request = requestText(port);
    ::send(probe, request.data(), request.size(), MSG_NOSIGNAL);
    const int status = readReply(probe, buffer, &g_minimalReply);
    ::close(probe);
    return status;
}

// --serve-minimal PORT --reply-from PORT2: only the minimal server, answering
// what the service on PORT2 answers, until the process is ended (the bare
// side of bench/callgrind_requests.sh).
int serveMinimal(const QStringList& arguments)
{
    if (probeReply(argument(arguments, "--reply-from", 0)) < 0) {
        std::fprintf(stderr, "no reply from --reply-from\n");
        return 1;
    }
    MHD_Daemon* minimal = startMinimal(argument(arguments, "--serve-minimal", 0));
    if (!minimal) {
        std::fprintf(stderr, "cannot start the minimal server\n");
        return 1;
    }
    std::printf("serving %zu bytes\n", g_minimalReply.size());
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

// --port PORT: only the load, against a server that is already running.
int loadOnly(const QStringList& arguments, int connections, int requests, int warmUp)
{
    const Result result = load(argument(arguments, "--port", 0), connections, requests, warmUp);
    print("server", result);
    return result.failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int requests = argument(arguments, "--requests", 5000);
    const int warmUp = argument(arguments, "--warmup", 200);
    std::vector<int> connectionCounts {1, 8, 32};
    if (arguments.contains("--connections"))
        connectionCounts = {argument(arguments, "--connections", 8)};
    if (arguments.contains("--serve-minimal"))
        return serveMinimal(arguments);
    if (arguments.contains("--port"))
        return loadOnly(arguments, connectionCounts.front(), requests, warmUp);

    QString binary = QCoreApplication::applicationDirPath() + "/../quinmark-server";
    if (const QString given = textArgument(arguments, "--server"); !given.isEmpty())
        binary = given;

    // The service, as a user runs it (daemon mode, its log file on), in folders of its own.
    QStringList serviceArguments;
    if (arguments.contains("--log-off"))
        serviceArguments << "-w"
                         << "false";
    qmbench::ServiceProcess service;
    const int debugReaders = argument(arguments, "--debug-readers", 0);
    if (debugReaders > 0)
        writeFullLog(service.logPath());
    if (!service.start(binary, serviceArguments))
        return 1;
    const int servicePort = service.port();
    // The minimal server answers with the very bytes the service answers with.
    const int probeStatus = probeReply(servicePort);
    if (probeStatus < 0) {
        std::fprintf(stderr, "the service does not answer\n");
        return 1;
    }
    // Start-up work of the service (the product database, the package) may
    // still be finishing: let it settle before the first measurement.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int minimalPort = freePort();
    MHD_Daemon* minimal = startMinimal(minimalPort);
    if (!minimal) {
        std::fprintf(stderr, "cannot start the minimal server\n");
        return 1;
    }

    std::printf("system.listMethods, keep-alive connections x %d requests each (after %d warm-up each), "
                "reply %zu bytes, status %d\n",
        requests, warmUp, g_minimalReply.size(), probeStatus);
    std::vector<std::pair<int, double>> ratios;
    for (const int connections : connectionCounts) {
        std::printf("%d connection%s\n", connections, connections == 1 ? "" : "s");
        const Result minimalResult = load(minimalPort, connections, requests, warmUp);
        DebugPageReaders readers(servicePort, debugReaders);
        const Result serviceResult = load(servicePort, connections, requests, warmUp);
        readers.finish();
        print("minimal libmicrohttpd", minimalResult);
        print("quinmark-server", serviceResult);
        readers.print();
        const double ratio = minimalResult.requestsPerSecond > 0
            ? serviceResult.requestsPerSecond / minimalResult.requestsPerSecond
            : 0;
        std::printf("  service/minimal: throughput %.2f, p50 %.2fx, p99 %.2fx; service p99/p50 %.2f\n", ratio,
            serviceResult.p50Us / std::max(minimalResult.p50Us, 0.001),
            serviceResult.p99Us / std::max(minimalResult.p99Us, 0.001),
            serviceResult.p99Us / std::max(serviceResult.p50Us, 0.001));
        ratios.emplace_back(connections, ratio);
    }
    std::printf("throughput service/minimal:");
    for (const auto& [connections, ratio] : ratios)
        std::printf("  %d: %.2f", connections, ratio);
    std::printf("\n");

    MHD_stop_daemon(minimal);
    service.stop();
    return 0;
}
