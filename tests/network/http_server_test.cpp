#include "http_test_client.h"
#include "log_capture.h"
#include "wait_until.h"

#include "network/http_body_source.h"
#include "network/http_host_whitelist.h"
#include "network/http_request.h"
#include "network/http_request_handler.h"
#include "network/http_response.h"
#include "network/http_server.h"
#include "network/http_session_factory.h"
#include "network/listen_socket.h"
#include "network/request_deadline_watch.h"

#include <QMutex>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>

using namespace tarvesk::network;
using qmtest::HttpReply;
using qmtest::HttpTestClient;
using tarvesk::test::LogCapture;

namespace {

// A body of `size` bytes (the byte at i is i % 251) made while it is sent.
class PatternSource : public HttpBodySource
{
public:
    explicit PatternSource(qint64 size)
        : size(size)
    {
        ++alive;
    }
    ~PatternSource() override { --alive; }
    qint64 read(char* data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, size - at);
        for (qint64 i = 0; i < count; ++i, ++at)
            data[i] = char(at % 251);
        return count;
    }
    static std::string pattern(qint64 size)
    {
        std::string bytes;
        for (qint64 i = 0; i < size; ++i)
            bytes += char(i % 251);
        return bytes;
    }

    static std::atomic<int> alive;

private:
    qint64 size;
    qint64 at = 0;
};
std::atomic<int> PatternSource::alive {0};

// Answers every request with 200 and echoes what it received; "/stream/<n>"
// gets a made body of n bytes.
class RecordingHandler : public HttpRequestHandler
{
public:
    HttpResponse* handleRequest(HttpRequest* request) override
    {
        ++calls;
        if (holdFor.count() > 0)
            std::this_thread::sleep_for(holdFor); // a handler busy for longer than the peer's bound
        {
            QMutexLocker lock(&mutex);
            lastBody = request->getUploadData();
            lastUrl = request->getURL().toString();
            lastContentType = request->getHeaderItem("content-type");
        }
        const QString path = request->getURL().path();
        if (path == "/no-memory")
            throw std::bad_alloc(); // as a handler whose memory ran out
        auto* response = new HttpResponse;
        response->setStatusCode(200);
        if (path.startsWith("/stream/"))
            response->setBodySource(std::make_unique<PatternSource>(path.mid(8).toLongLong()));
        else
            response->setData("handled " + request->getMethod().toUtf8());
        return response;
    }

    std::atomic<int> calls {0};
    std::chrono::milliseconds holdFor {0}; // set before the server starts
    QMutex mutex;
    QByteArray lastBody;
    QString lastUrl;
    QString lastContentType;
};

class HttpServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        factory = std::make_shared<HttpSessionFactory>(std::make_shared<HttpHostWhitelist>());
        setHttpSessionFactory(factory);
        setInstalledHandler(handler);
        port = qmtest::freeLoopbackPort();
        server = std::make_unique<HttpServer>(port);
        ASSERT_TRUE(server->start());
    }

    void TearDown() override
    {
        server.reset();
        setInstalledHandler(nullptr);
        setHttpSessionFactory(nullptr);
    }

    std::shared_ptr<RecordingHandler> handler = std::make_shared<RecordingHandler>();
    std::shared_ptr<HttpSessionFactory> factory;
    std::unique_ptr<HttpServer> server;
    int port = 0;
};

} // namespace

TEST_F(HttpServerTest, OptionsIsAnsweredAsPreflightWithoutTheHandler)
{
    HttpTestClient client(port);
    const HttpReply reply = client.request("OPTIONS", "/anything");
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "OPTIONS method.");
    EXPECT_EQ(reply.header("access-control-allow-origin"), "*");
    EXPECT_EQ(reply.header("access-control-allow-headers"), "content-type");
    EXPECT_EQ(reply.header("access-control-allow-methods"), "POST,GET,OPTIONS");
    EXPECT_FALSE(reply.hasHeader("server"));
    EXPECT_EQ(handler->calls, 0);
}

TEST_F(HttpServerTest, MethodsOtherThanGetHeadPostAreRefusedWith406)
{
    for (const char* method : {"PUT", "DELETE", "PATCH", "get", "TRACE"}) {
        HttpTestClient client(port);
        const HttpReply reply = client.request(method, "/");
        ASSERT_TRUE(reply.ok) << method;
        EXPECT_EQ(reply.status, 406) << method;
        EXPECT_EQ(
            reply.body, "<html><head><title>Illegal request</title></head><body>Go away.</body></html>");
    }
    EXPECT_EQ(handler->calls, 0);
}

// A body on another method is read past, not kept: the request still gets its answer.
TEST_F(HttpServerTest, BodiesOfOtherMethodsDoNotCostTheReply)
{
    const struct
    {
        const char* method;
        int status;
    } cases[] = {{"PUT", 406}, {"PATCH", 406}, {"DELETE", 406}, {"GET", 200}};
    for (const auto& c : cases) {
        HttpTestClient client(port);
        const HttpReply reply = client.request(c.method, "/", {}, std::string(70000, 'b'));
        ASSERT_TRUE(reply.ok) << c.method;
        EXPECT_EQ(reply.status, c.status) << c.method;
    }
    QMutexLocker lock(&handler->mutex);
    EXPECT_TRUE(handler->lastBody.isEmpty());
}

TEST_F(HttpServerTest, HandlerRepliesCarryTheDefaultHeaders)
{
    HttpTestClient client(port);
    HttpReply reply = client.request("GET", "/debug?a=1&b=2");
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "handled GET");
    EXPECT_EQ(reply.header("server"), "Quinmark");
    EXPECT_EQ(reply.header("access-control-allow-origin"), "*");
    EXPECT_EQ(reply.header("access-control-allow-headers"), "Origin, X-Requested-With, Content-Type, Accept");
    EXPECT_EQ(handler->lastUrl, "/debug?a=1&b=2");

    reply = client.request("HEAD", "/"); // same connection: keep-alive
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body.empty());
    EXPECT_EQ(handler->calls, 2);
}

// A made body goes out chunked, whole, and its source ends with the reply,
// also when the client leaves before it has read it; the connection serves
// on after it.
TEST_F(HttpServerTest, MadeBodiesArriveWholeAndTheirSourceEndsWithTheReply)
{
    HttpTestClient client(port);
    for (const qint64 size : {qint64(0), qint64(1), qint64(70000), qint64(3) << 20}) {
        const std::string target = "/stream/" + std::to_string(size);
        const HttpReply reply = client.request("GET", target);
        ASSERT_TRUE(reply.ok) << size;
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.header("transfer-encoding"), "chunked");
        EXPECT_EQ(reply.header("server"), "Quinmark");
        EXPECT_TRUE(reply.body == PatternSource::pattern(size)) << size << ": " << reply.body.size();
    }
    // HEAD states the size a GET would get, and sends nothing after the head.
    const HttpReply head = client.request("HEAD", "/stream/70000");
    ASSERT_TRUE(head.ok);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("content-length"), "70000");
    EXPECT_TRUE(head.body.empty());
    // Still served on the same connection after them.
    EXPECT_EQ(client.request("GET", "/x").body, "handled GET");
    EXPECT_TRUE(tarvesk::test::waitUntil([] { return PatternSource::alive == 0; }, 10000));

    HttpTestClient leaving(port);
    ASSERT_TRUE(leaving.sendRaw("GET /stream/100000000 HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(tarvesk::test::waitUntil([] { return PatternSource::alive == 1; }, 10000));
    leaving.close();
    EXPECT_TRUE(tarvesk::test::waitUntil([] { return PatternSource::alive == 0; }, 20000));
}

TEST_F(HttpServerTest, PostBodyArrivesWholeAcrossChunks)
{
    HttpTestClient client(port);
    std::string body(200000, 'x');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = char('a' + i % 26);
    ASSERT_TRUE(client.sendRaw("POST / HTTP/1.1\r\nHost: x\r\nContent-Type: application/json-rpc\r\n"
                               "Transfer-Encoding: chunked\r\n\r\n"));
    for (size_t at = 0; at < body.size(); at += 7000) {
        const std::string piece = body.substr(at, 7000);
        char size[16];
        snprintf(size, sizeof size, "%zx\r\n", piece.size());
        ASSERT_TRUE(client.sendRaw(size + piece + "\r\n"));
    }
    ASSERT_TRUE(client.sendRaw("0\r\n\r\n"));
    const HttpReply reply = client.readReply(false);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 200);
    QMutexLocker lock(&handler->mutex);
    EXPECT_EQ(handler->lastBody.toStdString(), body);
    EXPECT_EQ(handler->lastContentType, "application/json-rpc");
}

TEST_F(HttpServerTest, PostWithoutBodyReachesTheHandlerEmpty)
{
    HttpTestClient client(port);
    const HttpReply reply = client.request("POST", "/", {{"Content-Length", "0"}});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.body, "handled POST");
    QMutexLocker lock(&handler->mutex);
    EXPECT_TRUE(handler->lastBody.isEmpty());
}

TEST_F(HttpServerTest, BodiesOverTheCapAreRefusedWith413)
{
    const std::string cap = std::to_string(HttpRequest::MaxBodySize);
    const std::string over = std::to_string(HttpRequest::MaxBodySize + 1);
    {
        // Announced too large: refused before the body is read.
        HttpTestClient client(port);
        ASSERT_TRUE(client.sendRaw("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: " + over + "\r\n\r\n"));
        const HttpReply reply = client.readReply(false);
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, 413);
        EXPECT_EQ(reply.body, "Request body too large.");
        EXPECT_EQ(reply.header("content-type"), "text/plain");
        EXPECT_EQ(reply.header("access-control-allow-origin"), "*");
    }
    {
        HttpTestClient client(port);
        ASSERT_TRUE(
            client.sendRaw("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999999\r\n\r\n"));
        EXPECT_EQ(client.readReply(false).status, 413);
    }
    {
        // Chunked, no length: refused once the cap is passed.
        HttpTestClient client(port);
        ASSERT_TRUE(client.sendRaw("POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"));
        const std::string piece(1 << 20, 'y');
        for (int i = 0; i < 17; ++i) {
            char size[16];
            snprintf(size, sizeof size, "%zx\r\n", piece.size());
            if (!client.sendRaw(size + piece + "\r\n"))
                break;
        }
        client.sendRaw("0\r\n\r\n");
        EXPECT_EQ(client.readReply(false).status, 413);
    }
    EXPECT_EQ(handler->calls, 0);
    {
        // Exactly at the cap is still accepted.
        HttpTestClient client(port);
        const HttpReply reply
            = client.request("POST", "/", {}, std::string(size_t(HttpRequest::MaxBodySize), 'z'));
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(std::to_string(handler->lastBody.size()), cap);
    }
}

// A request whose handling runs out of memory gets an error, and the server
// goes on serving: nothing is thrown into libmicrohttpd, which would end the
// process.
TEST_F(HttpServerTest, ARequestThatRunsOutOfMemoryGets503AndOthersAreServed)
{
    for (const char* method : {"GET", "POST"}) {
        HttpTestClient client(port);
        const HttpReply reply = client.request(method, "/no-memory", {}, "{}");
        ASSERT_TRUE(reply.ok) << method;
        EXPECT_EQ(reply.status, 503) << method;
        EXPECT_EQ(reply.body, "Out of memory for this request: try again later.");
        EXPECT_EQ(reply.header("content-type"), "text/plain");
        EXPECT_EQ(client.request("GET", "/").body, "handled GET") << method;
    }
}

TEST_F(HttpServerTest, CookiesAreEchoedOnlyToTheClientThatSentThem)
{
    HttpTestClient first(port);
    HttpReply reply = first.request("GET", "/", {{"Cookie", "a=1"}});
    EXPECT_EQ(reply.header("cookie"), "a=1");
    reply = first.request("GET", "/", {{"Cookie", "a=2"}});
    EXPECT_EQ(reply.header("cookie"), "a=2");

    HttpTestClient second(port);
    reply = second.request("GET", "/");
    ASSERT_TRUE(reply.ok);
    EXPECT_FALSE(reply.hasHeader("cookie"));
}

TEST_F(HttpServerTest, SessionsEndWithTheirConnection)
{
    {
        HttpTestClient a(port);
        HttpTestClient b(port);
        ASSERT_TRUE(a.request("GET", "/").ok);
        ASSERT_TRUE(b.request("GET", "/").ok);
        EXPECT_EQ(factory->sessionCount(), 2);
    }
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return factory->sessionCount() == 0; }, 30000));
}

// A peer must deliver its request within a bounded total time: one that sends
// a header byte now and then (each byte would restart an idle time-out) loses
// its connection once the bound is spent, and others are served meanwhile. The
// time a handler takes is not the peer's.
TEST_F(HttpServerTest, APeerThatTricklesItsRequestIsClosedAfterTheBound)
{
    using namespace std::chrono_literals;
    constexpr auto bound = 400ms;
    server.reset();
    handler->holdFor = 2 * bound;
    server = std::make_unique<HttpServer>(port);
    server->setRequestArrivalTimeout(bound);
    ASSERT_TRUE(server->start());

    // Each wait for the close lasts at most 100 ms, then the next byte goes.
    HttpTestClient slow(port, 100ms);
    ASSERT_TRUE(slow.sendRaw("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() < giveUp) {
        closed = !slow.sendRaw("X") || slow.peerClosed();
    }
    EXPECT_TRUE(closed);
    EXPECT_EQ(server->deadlines()->expiredCount(), 1);
    EXPECT_EQ(handler->calls, 0);

    // A prompt client whose request takes twice the bound to handle gets its
    // reply, and the connection serves a second request.
    HttpTestClient prompt(port);
    EXPECT_EQ(prompt.request("GET", "/").body, "handled GET");
    EXPECT_EQ(prompt.request("POST", "/", {}, "body").body, "handled POST");
    EXPECT_EQ(server->deadlines()->expiredCount(), 1);
}

// A client that asked promptly but does not take its reply is closed after
// the same bound, and the log says that the reply was not taken, not that
// the request was late.
TEST_F(HttpServerTest, AReplyTheClientDoesNotTakeIsCutAndLoggedAsSuch)
{
    using namespace std::chrono_literals;
    server.reset();
    server = std::make_unique<HttpServer>(port);
    server->setRequestArrivalTimeout(300ms);
    ASSERT_TRUE(server->start());
    LogCapture log;

    HttpTestClient stalled(port);
    ASSERT_TRUE(stalled.sendRaw("GET /stream/1000000000 HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return server->deadlines()->expiredCount() == 1; }, 30000));
    EXPECT_EQ(log.count("Closed a connection whose client took more than 300 ms to take the reply it was sent"), 1)
        << log.warnings().join('\n').toStdString();
    EXPECT_EQ(log.count("to arrive"), 0);
    EXPECT_TRUE(tarvesk::test::waitUntil([] { return PatternSource::alive == 0; }, 20000));
}

TEST_F(HttpServerTest, WithoutInstalledHandlerTheConnectionIsDropped)
{
    setInstalledHandler(nullptr);
    HttpTestClient client(port);
    EXPECT_FALSE(client.request("GET", "/").ok);
}

TEST_F(HttpServerTest, StartAndStopAreIdempotentAndATakenPortFails)
{
    EXPECT_TRUE(server->isRunning());
    EXPECT_FALSE(server->start()); // already running: left running
    EXPECT_TRUE(server->isRunning());
    EXPECT_TRUE(qmtest::portAcceptsConnections(port));

    HttpServer second(port);
    EXPECT_FALSE(second.start());
    EXPECT_FALSE(second.isRunning());

    for (int bad : {0, -1, 65536, 70000}) {
        HttpServer outOfRange(bad);
        EXPECT_FALSE(outOfRange.start()) << bad;
    }

    server->stop();
    EXPECT_FALSE(server->isRunning());
    server->stop();
    EXPECT_FALSE(qmtest::portAcceptsConnections(port));
}

// Peers are judged as their connection is accepted, before any request or
// session exists: a refused peer gets its socket closed and costs no thread.
TEST_F(HttpServerTest, ThePeerPolicyDecidesAtAccept)
{
    std::atomic<bool> admit {false};
    std::atomic<int> asked {0};
    std::atomic<bool> sawLoopback {false};
    server.reset();
    port = qmtest::freeLoopbackPort();
    server = std::make_unique<HttpServer>(port, [&](const sockaddr* address, socklen_t length) {
        ++asked;
        if (address && address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) {
            sockaddr_in peer;
            std::memcpy(&peer, address, sizeof peer);
            sawLoopback = peer.sin_addr.s_addr == htonl(INADDR_LOOPBACK);
        }
        return admit.load();
    });
    ASSERT_TRUE(server->start());

    // A peer that connects again and again writes one line, not one each time.
    LogCapture log;
    for (int i = 0; i < 20; ++i) {
        HttpTestClient client(port);
        EXPECT_FALSE(client.request("GET", "/").ok) << i;
        EXPECT_TRUE(client.peerClosed()) << i;
    }
    EXPECT_EQ(log.count("Someone trying to connect who shouldn't"), 1);
    EXPECT_GE(asked, 20);
    EXPECT_TRUE(sawLoopback);
    EXPECT_EQ(handler->calls, 0);
    EXPECT_EQ(factory->sessionCount(), 0);

    admit = true;
    HttpTestClient client(port);
    EXPECT_TRUE(client.request("GET", "/").ok);
    EXPECT_EQ(handler->calls, 1);
}

// A stopping server answers the connection whose request is still arriving;
// the listen socket it leaves keeps a new connection waiting until the next
// server on it answers; once closed, new connections are refused.
TEST_F(HttpServerTest, TheListenSocketOutlivesTheServerAndStopAnswersWhatItAccepted)
{
    const std::string body = "x";
    const std::string head = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1\r\n\r\n";
    HttpTestClient arriving(port);
    ASSERT_TRUE(arriving.sendRaw(head));
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return server->openConnections() == 1; }, 30000));
    const std::shared_ptr<ListenSocket> kept = server->listenSocket();
    ASSERT_TRUE(kept && kept->isOpen());

    std::thread stopping([&] { server->stop(); });
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return server->isDraining(); }, 30000));
    ASSERT_TRUE(arriving.sendRaw(body));
    const HttpReply last = arriving.readReply(false);
    stopping.join();
    EXPECT_TRUE(last.ok);
    EXPECT_EQ(last.body, "handled POST");
    EXPECT_EQ(last.header("connection"), "close");

    // No server now: the connection waits in the backlog.
    HttpTestClient waiting(port);
    ASSERT_TRUE(waiting.sendRaw("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    HttpServer next(port);
    next.useListenSocket(kept);
    ASSERT_TRUE(next.start());
    EXPECT_EQ(next.listenSocket(), kept);
    EXPECT_EQ(waiting.readReply(false).body, "handled GET");

    next.closeListening();
    EXPECT_FALSE(kept->isOpen());
    EXPECT_FALSE(qmtest::portAcceptsConnections(port));
    next.stop();

    // A socket of another port is not taken: the server opens its own.
    const auto other = std::make_shared<ListenSocket>(qmtest::freeLoopbackPort());
    HttpServer elsewhere(qmtest::freeLoopbackPort());
    elsewhere.useListenSocket(other);
    ASSERT_TRUE(elsewhere.start());
    EXPECT_NE(elsewhere.listenSocket(), other);
    EXPECT_EQ(elsewhere.listenSocket()->port(), elsewhere.getPort());
}

// Without a policy of its own the server asks the host whitelist.
TEST(HttpServer, DefaultPeerPolicyIsTheHostWhitelist)
{
    HttpServer server(8012);
    sockaddr_in peer {};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_TRUE(server.acceptsPeer(reinterpret_cast<const sockaddr*>(&peer), sizeof peer));
    peer.sin_addr.s_addr = htonl(0x0a000001); // 10.0.0.1
    EXPECT_FALSE(server.acceptsPeer(reinterpret_cast<const sockaddr*>(&peer), sizeof peer));
}
