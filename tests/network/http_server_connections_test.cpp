#include "held_connections.h"
#include "http_test_client.h"
#include "log_capture.h"
#include "wait_until.h"

#include "network/http_host_whitelist.h"
#include "network/http_request.h"
#include "network/http_request_handler.h"
#include "network/http_response.h"
#include "network/http_server.h"
#include "network/listen_socket.h"
#include "network/http_session_factory.h"
#include "network/request_deadline_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <sys/resource.h>
#include <unistd.h>

using namespace tarvesk::network;
using qmtest::HeldConnections;
using qmtest::HttpTestClient;
using qmtest::RaisedDescriptorLimit;
using tarvesk::test::LogCapture;
using tarvesk::test::waitUntil;
using tarvesk::test::waitWhileGrowing;

namespace {

constexpr int HeldCount = 1100;

class CountingHandler : public HttpRequestHandler
{
public:
    HttpResponse* handleRequest(HttpRequest*) override
    {
        ++calls;
        auto* response = new HttpResponse;
        response->setStatusCode(200);
        response->setData("served");
        return response;
    }
    std::atomic<int> calls {0};
};

// Standard error of this process, sent to a file while it lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture()
    {
        char path[] = "/tmp/qm-stderr-XXXXXX";
        file = ::mkstemp(path);
        ::unlink(path);
        std::fflush(stderr);
        saved = ::dup(STDERR_FILENO);
        ::dup2(file, STDERR_FILENO);
    }
    ~StandardErrorCapture()
    {
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        ::close(file);
    }
    std::string text() const
    {
        std::fflush(stderr);
        std::string all;
        char chunk[4096];
        ssize_t n;
        for (off_t at = 0; (n = ::pread(file, chunk, sizeof chunk, at)) > 0; at += n)
            all.append(chunk, size_t(n));
        return all;
    }

private:
    int file = -1;
    int saved = -1;
};

// A connection to the port that sends `sent` and closes its side at once
// (FIN); its descriptor, or -1.
int connectSendAndCloseSide(int port, const std::string& sent)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval patience {20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::send(fd, sent.data(), sent.size(), MSG_NOSIGNAL) != ssize_t(sent.size())) {
        ::close(fd);
        return -1;
    }
    ::shutdown(fd, SHUT_WR);
    return fd;
}

// What the server sends until it closes the connection (or 20 s pass
// without a byte); closes fd.
std::string readToEnd(int fd)
{
    std::string all;
    char chunk[4096];
    ssize_t n;
    while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
        all.append(chunk, size_t(n));
    ::close(fd);
    return all;
}

class HttpServerConnectionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setHttpSessionFactory(std::make_shared<HttpSessionFactory>(std::make_shared<HttpHostWhitelist>()));
        setInstalledHandler(handler);
        port = qmtest::freeLoopbackPort();
        server = std::make_unique<HttpServer>(port);
    }

    void TearDown() override
    {
        server.reset();
        setInstalledHandler(nullptr);
        setHttpSessionFactory(nullptr);
    }

    bool served()
    {
        HttpTestClient client(port);
        return client.request("GET", "/").body == "served";
    }

    std::shared_ptr<CountingHandler> handler = std::make_shared<CountingHandler>();
    std::unique_ptr<HttpServer> server;
    int port = 0;
};

} // namespace

// The bound leaves the service's own files a share of the descriptors however
// large or small the limit, and a thread per connection stays affordable.
TEST(HttpServerConnectionLimit, LeavesDescriptorsToTheServiceItself)
{
    EXPECT_EQ(HttpServer::connectionLimitFor(1024), 1024 - HttpServer::DescriptorReserve);
    for (const unsigned long long limit : {2ull, 100ull, 511ull, 512ull, 513ull, 1024ull, 4096ull, 20000ull,
             1048576ull, static_cast<unsigned long long>(RLIM_INFINITY)}) {
        const int bound = HttpServer::connectionLimitFor(limit);
        EXPECT_GE(bound, 1) << limit;
        EXPECT_LE(bound, HttpServer::MaximumConnections) << limit;
        EXPECT_GE(limit - bound, std::min<unsigned long long>(HttpServer::DescriptorReserve, limit / 2))
            << limit;
    }
    EXPECT_EQ(HttpServer::connectionLimitFor(RLIM_INFINITY), HttpServer::MaximumConnections);
}

// One local process holding more connections than select() could ever watch
// (descriptors past 1024 on both sides here) locks no one else out, and no
// line is written for any of them.
TEST_F(HttpServerConnectionsTest, ManyHeldConnectionsDoNotLockOthersOut)
{
    RaisedDescriptorLimit raised;
    std::string why;
    // Both ends of each connection are in this process.
    if (!raised.allows(2 * HeldCount + HttpServer::DescriptorReserve + 64, &why))
        GTEST_SKIP() << "Cannot hold " << HeldCount << " connections here: " << why;
    LogCapture log;
    StandardErrorCapture standardError;
    // However slow the machine: taking up all of them may take longer than
    // the usual time-outs, which would close the first ones while the test
    // still counts them as held.
    server->setRequestArrivalTimeout(std::chrono::minutes(5));
    server->setIdleTimeout(std::chrono::minutes(5));
    ASSERT_TRUE(server->start());
    ASSERT_GT(server->connectionLimit(), HeldCount);

    HeldConnections held;
    ASSERT_TRUE(held.open(port, HeldCount));
    // Each gets a thread of its own, which takes a while under a sanitizer.
    ASSERT_TRUE(waitWhileGrowing([&] { return server->openConnections(); }, HeldCount))
        << server->openConnections();
    EXPECT_EQ(server->openConnections(), HeldCount);

    EXPECT_TRUE(served());
    EXPECT_TRUE(served());
    EXPECT_EQ(handler->calls, 2);
    EXPECT_EQ(held.closedByPeer(), 0);
    // The other client's connection ends; the held ones stay.
    EXPECT_TRUE(waitUntil([&] { return server->openConnections() == HeldCount; }, 30000))
        << server->openConnections();

    held.closeAll();
    EXPECT_TRUE(waitUntil([&] { return server->openConnections() == 0; }, 60000));
    EXPECT_EQ(standardError.text(), "");
    EXPECT_TRUE(log.warnings().isEmpty()) << log.warnings().join('\n').toStdString();
}

// Over the bound a connection is closed as it is accepted, without a reply and
// at once (no time-out); the log says that the bound was reached once, not
// once per connection, and nothing reaches standard error. Once connections
// end, new ones are served again.
TEST_F(HttpServerConnectionsTest, AConnectionOverTheBoundIsClosedAtOnceAndLoggedOnce)
{
    constexpr int bound = 8;
    LogCapture log;
    StandardErrorCapture standardError;
    server->setConnectionLimit(bound);
    ASSERT_TRUE(server->start());
    EXPECT_EQ(server->connectionLimit(), bound);

    HeldConnections held;
    ASSERT_TRUE(held.open(port, bound));
    ASSERT_TRUE(waitUntil([&] { return server->openConnections() == bound; }, 30000));

    for (int i = 0; i < 20; ++i) {
        HttpTestClient refused(port, std::chrono::seconds(20));
        const qmtest::HttpReply reply = refused.request("GET", "/");
        EXPECT_FALSE(reply.ok) << i;
        EXPECT_EQ(reply.status, 0) << i;
        EXPECT_TRUE(refused.peerClosed()) << i; // closed, not waiting for the time-out
    }
    EXPECT_EQ(handler->calls, 0);
    EXPECT_EQ(held.closedByPeer(), 0);
    // The bound reached, written once for the twenty refusals.
    EXPECT_EQ(log.count("the most it takes at once"), 1);
    EXPECT_EQ(log.warnings().size(), 1) << log.warnings().join('\n').toStdString();

    held.closeAll();
    ASSERT_TRUE(waitUntil([&] { return server->openConnections() == 0; }, 30000));
    EXPECT_EQ(log.count("new ones are accepted again"), 1);
    EXPECT_TRUE(waitUntil([&] { return served(); }, 30000));
    EXPECT_EQ(standardError.text(), "");
}

// A burst just past the bound, opened without waiting for any to be taken up
// and closed again, leaves the server serving, and stopping it returns. The
// daemon must never be the one to find the bound reached: it would lock up
// taking up the connections handed over to it.
TEST_F(HttpServerConnectionsTest, ABurstPastTheBoundLeavesTheServerServingAndStoppable)
{
    constexpr int bound = 8;
    server->setConnectionLimit(bound);
    ASSERT_TRUE(server->start());

    for (int round = 0; round < 10; ++round) {
        HeldConnections burst;
        ASSERT_TRUE(burst.open(port, bound + 1)) << round;
        // Held until the server has closed one or holds them all.
        waitUntil([&] { return burst.closedByPeer() > 0 || server->openConnections() == bound; }, 2000);
        burst.closeAll();
        ASSERT_TRUE(waitUntil([&] { return served(); }, 30000)) << round;
    }
    EXPECT_TRUE(waitUntil([&] { return server->openConnections() == 0; }, 30000)) << server->openConnections();

    auto stopped = std::async(std::launch::async, [&] { server->stop(); });
    if (stopped.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        // A stop() that never returns cannot be recovered from in-process.
        std::fprintf(stderr, "HttpServer::stop() did not return\n");
        std::abort();
    }
    EXPECT_FALSE(server->isRunning());
}

// Idle connections that outlast the time a request may take are closed
// together: one line says so, not one per connection.
TEST_F(HttpServerConnectionsTest, HeldConnectionsThatRunOutOfTimeAreLoggedOnce)
{
    constexpr int count = 30;
    LogCapture log;
    StandardErrorCapture standardError;
    server->setRequestArrivalTimeout(std::chrono::milliseconds(300));
    ASSERT_TRUE(server->start());

    HeldConnections held;
    ASSERT_TRUE(held.open(port, count));
    ASSERT_TRUE(waitUntil([&] { return held.closedByPeer() == count; }, 30000)) << held.closedByPeer();
    EXPECT_EQ(server->deadlines()->expiredCount(), count);
    EXPECT_EQ(log.count("Closed a connection whose request took more than 300 ms to arrive"), 1);
    EXPECT_EQ(log.warnings().size(), 1) << log.warnings().join('\n').toStdString();
    EXPECT_EQ(standardError.text(), "");
}

// A client that has closed its side when its connection is accepted is
// answered when what it sent holds a whole request head, and closed without a
// reply when it sent less (nothing, half a request line, a head without its
// end), which never reaches libmicrohttpd: it would only read to the end and
// close. The connections wait in the backlog of a listen socket opened before
// the server starts, so that each one's close is there when it is accepted.
TEST_F(HttpServerConnectionsTest, AClientThatClosedItsSideIsAnsweredOnlyForAWholeRequestHead)
{
    struct Row
    {
        std::string sent;
        bool answered;
    };
    const std::vector<Row> rows {
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1\r\n\r\nx", true},
        {"", false},
        {"POST /deb", false},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n", false},
    };
    const auto listening = std::make_shared<ListenSocket>(port);
    ASSERT_TRUE(listening->isOpen());
    std::vector<int> clients;
    for (const Row& row : rows) {
        clients.push_back(connectSendAndCloseSide(port, row.sent));
        ASSERT_GE(clients.back(), 0) << row.sent;
    }
    LogCapture log;
    server->useListenSocket(listening);
    ASSERT_TRUE(server->start());
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string reply = readToEnd(clients[i]);
        if (rows[i].answered) {
            EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << rows[i].sent << "\n" << reply;
            EXPECT_NE(reply.find("served"), std::string::npos) << rows[i].sent;
        } else {
            EXPECT_EQ(reply, "") << rows[i].sent;
        }
    }
    EXPECT_EQ(handler->calls, 2);
    // libmicrohttpd says so of each connection closed before its request came.
    EXPECT_EQ(log.count("HTTP server:"), 0) << log.messages().join('\n').toStdString();
}
