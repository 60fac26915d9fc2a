#include "network/http_server.h"

#include "log/logging_categories.h"
#include "network/descriptor_budget.h"
#include "network/http_body_source.h"
#include "network/http_host_whitelist.h"
#include "network/http_request.h"
#include "network/http_request_handler.h"
#include "network/http_response.h"
#include "network/http_session.h"
#include "network/http_session_factory.h"
#include "network/listen_socket.h"
#include "network/request_deadline_watch.h"
#include "network/request_framing.h"
#include "network/url_unescape.h"

#include <QDateTime>
#include <QDebug>
#include <QVarLengthArray>

#include <microhttpd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk::network {

std::shared_ptr<HttpRequestHandler> installedHandler;
std::shared_ptr<HttpSessionFactory> httpSessionFactory;

void setInstalledHandler(std::shared_ptr<HttpRequestHandler> handler)
{
    std::atomic_store(&installedHandler, std::move(handler));
}

std::shared_ptr<HttpRequestHandler> currentInstalledHandler()
{
    return std::atomic_load(&installedHandler);
}

void setHttpSessionFactory(std::shared_ptr<HttpSessionFactory> factory)
{
    std::atomic_store(&httpSessionFactory, std::move(factory));
}

std::shared_ptr<HttpSessionFactory> currentSessionFactory()
{
    return std::atomic_load(&httpSessionFactory);
}

namespace {

const char OptionsBody[] = "OPTIONS method.";
const char RefusedPeerText[] = "Someone trying to connect who shouldn't";
const char IllegalRequestBody[]
    = "<html><head><title>Illegal request</title></head><body>Go away.</body></html>";
// The most a body source is asked for at once.
constexpr size_t BodySourceBlockSize = 32 * 1024;

QString fromC(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

MHD_Result collectCookie(void* closure, MHD_ValueKind, const char* key, const char* value)
{
    auto* request = static_cast<HttpRequest*>(closure);
    if (auto session = request->getSession())
        session->addCookie(fromC(key), fromC(value));
    return MHD_YES;
}

MHD_Result collectHeader(void* closure, MHD_ValueKind, const char* key, const char* value)
{
    static_cast<HttpRequest*>(closure)->addHeaderItem(fromC(key), fromC(value));
    return MHD_YES;
}

MHD_Result collectQueryItem(void* closure, MHD_ValueKind, const char* key, const char* value)
{
    static_cast<HttpRequest*>(closure)->addQueryItem(fromC(key), fromC(value));
    return MHD_YES;
}

MHD_Result queueBuffer(MHD_Connection* connection, unsigned status, const char* data, size_t size)
{
    MHD_Response* response
        = MHD_create_response_from_buffer(size, const_cast<char*>(data), MHD_RESPMEM_PERSISTENT);
    if (!response)
        return MHD_NO;
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result queueOptionsReply(MHD_Connection* connection)
{
    MHD_Response* response = MHD_create_response_from_buffer(
        sizeof OptionsBody - 1, const_cast<char*>(OptionsBody), MHD_RESPMEM_PERSISTENT);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, "Access-Control-Allow-Origin", "*");
    MHD_add_response_header(response, "Access-Control-Allow-Headers", "content-type");
    MHD_add_response_header(response, "Access-Control-Allow-Methods", "POST,GET,OPTIONS");
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

// A header name or value as the NUL-terminated UTF-8 bytes libmicrohttpd
// copies; short texts (all of them, in practice) need no allocation.
class HeaderText
{
public:
    explicit HeaderText(const QString& text)
    {
        const int size = text.size();
        bool ascii = true;
        for (int i = 0; i < size && ascii; ++i)
            ascii = text.at(i).unicode() < 0x80;
        if (ascii) {
            bytes.resize(size + 1);
            for (int i = 0; i < size; ++i)
                bytes[i] = char(text.at(i).unicode());
            bytes[size] = '\0';
        } else {
            const QByteArray utf8 = text.toUtf8();
            bytes.resize(utf8.size() + 1);
            std::memcpy(bytes.data(), utf8.constData(), size_t(utf8.size()) + 1);
        }
    }
    const char* c_str() const { return bytes.constData(); }

private:
    QVarLengthArray<char, 128> bytes;
};

void releaseBody(void* body)
{
    delete static_cast<QByteArray*>(body);
}

ssize_t readBodySource(void* source, uint64_t, char* buffer, size_t maxSize)
{
    const qint64 size = static_cast<HttpBodySource*>(source)->read(buffer, qint64(maxSize));
    // Never 0: libmicrohttpd would ask again at once, for ever.
    return size > 0 ? ssize_t(size) : MHD_CONTENT_READER_END_OF_STREAM;
}

void releaseBodySource(void* source)
{
    delete static_cast<HttpBodySource*>(source);
}

MHD_Response* createMhdResponse(HttpResponse& reply, bool toHead)
{
    if (std::unique_ptr<HttpBodySource> source = reply.takeBodySource()) {
        uint64_t size = MHD_SIZE_UNKNOWN; // sent chunked
        if (toHead) {
            // libmicrohttpd ends a chunked reply to HEAD with the last (empty)
            // chunk, which the client takes for the start of the next reply.
            // A HEAD reply states the body's size instead, as for a GET with
            // a body in memory; the body is made once to count it.
            std::vector<char> block(BodySourceBlockSize);
            size = 0;
            qint64 made = 0;
            while ((made = source->read(block.data(), qint64(block.size()))) > 0)
                size += uint64_t(made);
        }
        MHD_Response* response = MHD_create_response_from_callback(
            size, BodySourceBlockSize, &readBodySource, source.get(), &releaseBodySource);
        if (response)
            source.release(); // libmicrohttpd deletes it now
        return response;
    }
    auto* body = new QByteArray(reply.getData());
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        size_t(body->size()), const_cast<char*>(body->constData()), &releaseBody, body);
    if (!response)
        delete body;
    return response;
}

// Sends a response of the handler layer: its headers, the session's cookie
// echo and its status. The body is handed over, not copied: libmicrohttpd
// frees it (or the source that makes it) when the reply has gone.
MHD_Result queueHttpResponse(MHD_Connection* connection, HttpResponse& reply, const HttpSession* session,
    bool closing, bool toHead = false)
{
    MHD_Response* response = createMhdResponse(reply, toHead);
    if (!response)
        return MHD_NO;
    for (auto it = reply.headersBegin(); it != reply.headersEnd(); ++it)
        MHD_add_response_header(response, HeaderText(it.key()).c_str(), HeaderText(it.value()).c_str());
    if (session) {
        const QString cookies = session->cookieHeader();
        if (!cookies.isEmpty())
            MHD_add_response_header(response, "Cookie", cookies.toLocal8Bit().constData());
    }
    // The server is going: a client that kept the connection for its next
    // request would find it closed.
    if (closing)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result result = MHD_queue_response(connection, unsigned(reply.getStatusCode()), response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result queueBodyTooLarge(MHD_Connection* connection, const HttpRequest* request, bool closing)
{
    HttpResponse reply;
    reply.setStatusCode(MHD_HTTP_CONTENT_TOO_LARGE);
    reply.setData(QByteArrayLiteral("Request body too large."));
    return queueHttpResponse(connection, reply, request->getSession().get(), closing);
}

// Session look-up and peer check; false when the connection must be dropped.
// The session is looked up once per request, on its first admitted call;
// the request's later calls (body chunks, the final call) only refresh its time.
bool admitConnection(HttpServer* server, MHD_Connection* connection, HttpRequest* request)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch(); // no time-zone look-up per call
    std::shared_ptr<HttpSession> session = request->getSession();
    if (!session) {
        const auto factory = currentSessionFactory();
        if (!factory)
            return false;
        session = factory->getOrCreateNewSession(connection);
        request->setSession(session);
    }
    session->setSessionTime(now);
    if (!session->doHostLookupAndCheckIfConnectionIsAllowed(connection)) {
        server->logRefusedPeer();
        return false;
    }
    return true;
}

bool declaredBodyTooLarge(MHD_Connection* connection)
{
    const char* length
        = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length)
        return false;
    errno = 0;
    const unsigned long long declared = std::strtoull(length, nullptr, 10);
    return errno == ERANGE || declared > static_cast<unsigned long long>(HttpRequest::MaxBodySize);
}

int socketOf(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info ? info->connect_fd : -1;
}

MHD_Result handleMhdAccess(void* server, MHD_Connection* connection, const char* url, const char* method,
    const char*, const char* uploadData, size_t* uploadDataSize, void** context)
{
    auto* httpServer = static_cast<HttpServer*>(server);
    auto* request = static_cast<HttpRequest*>(*context);
    if (!request) {
        request = new HttpRequest(fromC(method), fromC(url));
        *context = request;
        httpServer->requestStarted(socketOf(connection));
        // A body whose end can be read two ways is refused before any of it is read.
        if (const std::unique_ptr<HttpResponse> refusal = RequestFraming::refusalFor(connection)) {
            request->refuseBody();
            if (!admitConnection(httpServer, connection, request))
                return MHD_NO;
            return queueHttpResponse(connection, *refusal, request->getSession().get(), true);
        }
        // A body announced as too large is refused before any of it is read.
        if (request->getMethod() == QLatin1String("POST") && declaredBodyTooLarge(connection)) {
            request->refuseBody();
            if (!admitConnection(httpServer, connection, request))
                return MHD_NO;
            return queueBodyTooLarge(connection, request, httpServer->isDraining());
        }
        return MHD_YES;
    }

    if (!admitConnection(httpServer, connection, request))
        return MHD_NO;

    const QString verb = request->getMethod();
    if (verb == QLatin1String("OPTIONS"))
        return queueOptionsReply(connection);

    if (*uploadDataSize != 0) {
        const size_t size = *uploadDataSize;
        *uploadDataSize = 0;
        // Only a POST body is read; others are consumed unread, since
        // libmicrohttpd cannot queue a reply while body bytes are pending.
        if (verb != QLatin1String("POST") || request->isBodyRefused())
            return MHD_YES; // discard the rest of a refused body
        if (request->getUploadData().size() + qint64(size) > HttpRequest::MaxBodySize) {
            request->refuseBody();
            return MHD_YES;
        }
        request->appendUploadData(uploadData, size);
        return MHD_YES;
    }

    if (verb != QLatin1String("GET") && verb != QLatin1String("HEAD") && verb != QLatin1String("POST"))
        return queueBuffer(
            connection, MHD_HTTP_NOT_ACCEPTABLE, IllegalRequestBody, sizeof IllegalRequestBody - 1);

    if (request->isBodyRefused())
        return queueBodyTooLarge(connection, request, httpServer->isDraining());

    MHD_get_connection_values(connection, MHD_COOKIE_KIND, &collectCookie, request);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, request);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &collectQueryItem, request);

    const auto handler = currentInstalledHandler();
    if (!handler)
        return MHD_NO;
    // The request is all here: its handling takes what it takes, and the
    // peer's time starts again for taking the reply.
    RequestDeadlineWatch* deadlines = httpServer->deadlines();
    deadlines->disarm(connection);
    std::unique_ptr<HttpResponse> reply(handler->handleRequest(request));
    deadlines->arm(connection);
    if (!reply)
        return MHD_NO;
    return queueHttpResponse(connection, *reply, request->getSession().get(), httpServer->isDraining(),
        verb == QLatin1String("HEAD"));
}

void onMhdRequestCompleted(
    void* server, MHD_Connection* connection, void** context, MHD_RequestTerminationCode code)
{
    // The next request on a kept-alive connection has its own time.
    if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK)
        static_cast<HttpServer*>(server)->deadlines()->arm(connection);
    if (!*context)
        return;
    delete static_cast<HttpRequest*>(*context);
    *context = nullptr;
    static_cast<HttpServer*>(server)->requestFinished(socketOf(connection));
}

void onMhdConnectionNotify(
    void* server, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
{
    auto* httpServer = static_cast<HttpServer*>(server);
    RequestDeadlineWatch* deadlines = httpServer->deadlines();
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        deadlines->watch(connection, socketOf(connection));
        httpServer->connectionOpened(socketOf(connection));
        return;
    }
    // libmicrohttpd closes the socket only after this returns.
    deadlines->forget(connection);
    if (const auto factory = currentSessionFactory())
        factory->removeSession(connection);
    httpServer->connectionClosed(socketOf(connection));
}

// libmicrohttpd's messages go to the log, not to standard error.
void logMhdMessage(void* server, const char* format, va_list arguments)
{
    static_cast<HttpServer*>(server)->logDaemonMessage(format, arguments);
}

} // namespace

int HttpServer::connectionLimitFor(unsigned long long descriptorLimit)
{
    const unsigned long long reserve = DescriptorReserve;
    const unsigned long long served
        = descriptorLimit > 2 * reserve ? descriptorLimit - reserve : descriptorLimit / 2;
    return int(std::clamp<unsigned long long>(served, 1, MaximumConnections));
}

HttpServer::HttpServer(int port, PeerPolicy peerPolicy)
    : port(port)
    , peerPolicy(peerPolicy ? std::move(peerPolicy) : &HttpHostWhitelist::isPeerAllowed)
{ }

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::start()
{
    if (daemon) {
        qCWarning(service::loggerGlog())
            << GLOG_PREFIX << "Trying to start an already running Http server daemon";
        return false;
    }
    // A socket given for this port that could not be had says why; one
    // closed since (or none) is opened anew.
    if (!listening || listening->port() != port || (!listening->isOpen() && listening->errorNumber() == 0))
        listening = std::make_shared<ListenSocket>(port);
    if (listening->isOpen()) {
        wakeAcceptor = ::eventfd(0, EFD_CLOEXEC);
    } else if (!listening->errorText().empty()) {
        // What the daemon said when it opened the port itself.
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX << "HTTP server:" << QString::fromStdString(listening->errorText());
    }
    if (wakeAcceptor >= 0) {
        deadlineWatch = std::make_unique<RequestDeadlineWatch>(arrivalTimeout);
        activeConnectionLimit = requestedConnectionLimit > 0 ? requestedConnectionLimit
                                                             : std::max(1, DescriptorBudget::connectionLimitNow());
        // Twice the bound: libmicrohttpd counts a closed connection until it
        // has cleaned it up, and must never reach its own limit.
        daemonConnectionLimit = 2 * unsigned(activeConnectionLimit);
        {
            std::lock_guard<std::mutex> lock(connectionsMutex);
            handedOver.clear();
            openCount = 0;
            atLimit = false;
        }
        // One thread per connection needs libmicrohttpd's internal polling
        // thread; newer versions insist that it is asked for. With select()
        // no descriptor from FD_SETSIZE (1024) on could be served. The
        // connections are accepted here and handed over (MHD_add_connection).
        const unsigned flags = MHD_USE_ERROR_LOG | MHD_USE_THREAD_PER_CONNECTION
            | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_PEDANTIC_CHECKS
            | MHD_USE_NO_LISTEN_SOCKET | MHD_USE_ITC;
        // The logger comes first, so that not even a complaint about the
        // other options goes to standard error.
        daemon
            = MHD_start_daemon(flags, 0, nullptr, nullptr, &handleMhdAccess, this, MHD_OPTION_EXTERNAL_LOGGER,
                &logMhdMessage, this, MHD_OPTION_UNESCAPE_CALLBACK, &UrlUnescape::callback, nullptr,
                MHD_OPTION_CONNECTION_TIMEOUT, ConnectionTimeoutSeconds,
                MHD_OPTION_CONNECTION_LIMIT, daemonConnectionLimit, MHD_OPTION_THREAD_STACK_SIZE,
                ConnectionThreadStackSize, MHD_OPTION_NOTIFY_COMPLETED, &onMhdRequestCompleted, this,
                MHD_OPTION_NOTIFY_CONNECTION, &onMhdConnectionNotify, this, MHD_OPTION_END);
    }
    if (!daemon) {
        deadlineWatch.reset();
        if (wakeAcceptor >= 0)
            ::close(wakeAcceptor);
        wakeAcceptor = -1;
        if (!listening->isOpen())
            listening.reset();
        qCCritical(service::loggerGlog()) << GLOG_PREFIX << "Couldn't start Http server";
        return false;
    }
    acceptor = std::thread(&HttpServer::acceptConnections, this);
    qCInfo(service::loggerGlog()) << GLOG_PREFIX << "HTTP server takes up to" << activeConnectionLimit
                                  << "connections at once";
    return true;
}

int HttpServer::openConnections() const
{
    std::lock_guard<std::mutex> lock(connectionsMutex);
    return openCount;
}

void HttpServer::connectionOpened(int socket)
{
    std::lock_guard<std::mutex> lock(connectionsMutex);
    handedOver.erase(socket);
    // Handed over by the acceptor, it is owed a reply already.
    if (exchanges.emplace(socket, Exchange::AwaitingRequest).second)
        ++owing;
    ++openCount;
}

void HttpServer::connectionClosed(int socket)
{
    int count = 0;
    bool left = false;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex);
        settle(socket, Exchange::Idle);
        exchanges.erase(socket);
        --openCount;
        count = openCount + int(handedOver.size());
        // Left once a tenth of the bound is free again: a client that keeps
        // it full, closing one connection and opening the next, does not
        // write two lines each time.
        left = atLimit && count <= activeConnectionLimit - std::max(1, activeConnectionLimit / 10);
        atLimit = atLimit && !left;
    }
    if (left) {
        qCInfo(service::loggerGlog())
            << GLOG_PREFIX << "HTTP server holds" << count << "connections: new ones are accepted again";
    }
    burstMemory.connectionsLeft(count);
}

void HttpServer::logDaemonMessage(const char* format, va_list arguments)
{
    int heldBack = 0;
    if (!daemonMessages.admit(format, LogThrottle::Clock::now(), &heldBack))
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << "HTTP server:" << QString::fromLocal8Bit(text).trimmed() + LogThrottle::heldBackNote(heldBack);
}

void HttpServer::logRefusedPeer()
{
    int heldBack = 0;
    if (!refusedPeers.admit(RefusedPeerText, LogThrottle::Clock::now(), &heldBack))
        return;
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX << QLatin1String(RefusedPeerText) + LogThrottle::heldBackNote(heldBack);
}

void HttpServer::requestStarted(int socket)
{
    std::lock_guard<std::mutex> lock(connectionsMutex);
    settle(socket, Exchange::Handling);
}

void HttpServer::requestFinished(int socket)
{
    std::lock_guard<std::mutex> lock(connectionsMutex);
    settle(socket, Exchange::Idle);
}

// Under connectionsMutex.
void HttpServer::settle(int socket, Exchange now)
{
    const auto found = exchanges.find(socket);
    if (found == exchanges.end())
        return;
    const bool owedBefore = found->second != Exchange::Idle;
    const bool owedNow = now != Exchange::Idle;
    found->second = now;
    owing += int(owedNow) - int(owedBefore);
    if (owing == 0)
        nothingOwed.notify_all();
}

void HttpServer::acceptConnections()
{
    const int listenDescriptor = listening->descriptor();
    pollfd waits[2] = {{listenDescriptor, POLLIN, 0}, {wakeAcceptor, POLLIN, 0}};
    Backlog backlog = Backlog::Empty;
    for (;;) {
        // Out of descriptors, the backlog is left alone for a while: the
        // waiting connections are taken once some close. While the daemon
        // cleans up closed connections, they are taken once it has.
        int timeout = -1;
        if (backlog == Backlog::OutOfDescriptors)
            timeout = 100;
        else if (backlog == Backlog::DaemonFull)
            timeout = 5;
        waits[0].fd = backlog == Backlog::Empty ? listenDescriptor : -1;
        const int ready = ::poll(waits, 2, timeout);
        if (waits[1].revents != 0)
            return;
        if (backlog != Backlog::Empty || (ready > 0 && (waits[0].revents & POLLIN) != 0))
            backlog = acceptWaiting();
    }
}

bool HttpServer::daemonHasRoom()
{
    // Asked outside connectionsMutex: the daemon's threads take it in our
    // callbacks while they may hold locks of the daemon's own.
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    if (!info)
        return true;
    std::lock_guard<std::mutex> lock(connectionsMutex);
    // A connection handed over may be counted by the daemon already: counted
    // twice here, never too few.
    return info->num_connections + handedOver.size() < daemonConnectionLimit;
}

HttpServer::Backlog HttpServer::acceptWaiting()
{
    for (;;) {
        if (!daemonHasRoom())
            return Backlog::DaemonFull;
        sockaddr_storage address {};
        socklen_t length = sizeof address;
        const int client = ::accept4(listening->descriptor(), reinterpret_cast<sockaddr*>(&address), &length,
            SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client >= 0) {
            handOver(client, reinterpret_cast<const sockaddr*>(&address), length);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        const bool outOfDescriptors = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
        return outOfDescriptors ? Backlog::OutOfDescriptors : Backlog::Empty;
    }
}

void HttpServer::handOver(int client, const sockaddr* address, socklen_t length)
{
    // A foreign peer is turned away as its connection is accepted: refused only
    // once its headers had arrived, it could hold a connection thread (and one
    // of the daemon's connection slots) for the whole timeout by sending
    // nothing, and enough such peers would lock the local clients out.
    if (!acceptsPeer(address, length)) {
        logRefusedPeer();
        ::close(client);
        return;
    }
    SocketIdentity identity;
    struct stat status {};
    if (::fstat(client, &status) == 0)
        identity = {status.st_dev, status.st_ino};
    bool admitted = false;
    bool reached = false;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex);
        // Its number was free: a connection handed over with that number
        // before was closed without being taken up.
        forgetHandOver(client);
        admitted = boundHasRoom();
        if (admitted) {
            handedOver.emplace(client, identity);
            // Owed a reply from now on: stop() must not find nothing owed
            // while libmicrohttpd has yet to take the connection up.
            exchanges.emplace(client, Exchange::Idle);
            settle(client, Exchange::AwaitingRequest);
            reached = !atLimit && openCount + int(handedOver.size()) >= activeConnectionLimit;
            atLimit = atLimit || reached;
        }
    }
    if (!admitted) {
        ::close(client);
        return;
    }
    if (reached) {
        qCWarning(service::loggerGlog()) << GLOG_PREFIX << "HTTP server holds" << activeConnectionLimit
                                         << "connections, the most it takes at once: more are closed as "
                                            "they are accepted until some end";
    }
    if (MHD_add_connection(daemon, client, address, length) != MHD_YES) {
        // Closed: no other connection has its number yet, since only this
        // thread accepts.
        std::lock_guard<std::mutex> lock(connectionsMutex);
        forgetHandOver(client);
    }
}

bool HttpServer::boundHasRoom()
{
    if (openCount + int(handedOver.size()) < activeConnectionLimit)
        return true;
    forgetDroppedHandOvers();
    return openCount + int(handedOver.size()) < activeConnectionLimit;
}

void HttpServer::forgetDroppedHandOvers()
{
    std::vector<int> dropped;
    for (const auto& [socket, identity] : handedOver) {
        struct stat status {};
        if (::fstat(socket, &status) != 0 || !(SocketIdentity {status.st_dev, status.st_ino} == identity))
            dropped.push_back(socket);
    }
    for (const int socket : dropped)
        forgetHandOver(socket);
}

void HttpServer::forgetHandOver(int socket)
{
    if (handedOver.erase(socket) == 0)
        return;
    settle(socket, Exchange::Idle);
    exchanges.erase(socket);
}

void HttpServer::stopAccepting()
{
    if (!acceptor.joinable())
        return;
    const uint64_t wake = 1;
    while (::write(wakeAcceptor, &wake, sizeof wake) < 0 && errno == EINTR) { }
    acceptor.join();
    ::close(wakeAcceptor);
    wakeAcceptor = -1;
}

void HttpServer::closeListening()
{
    stopAccepting();
    if (!listening || !listening->isOpen())
        return;
    // Taken before the socket closes, since closing would reset them:
    // these clients had their connections accepted by the system already.
    // The daemon may lag behind cleaning up connections that closed: they
    // are given a moment, not the whole drain.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (daemon && acceptWaiting() == Backlog::DaemonFull && std::chrono::steady_clock::now() < deadline)
        ::poll(nullptr, 0, 5);
    listening->close();
}

bool HttpServer::acceptsPeer(const sockaddr* address, socklen_t length) const
{
    return peerPolicy(address, length);
}

bool HttpServer::isRunning() const
{
    return daemon != nullptr;
}

void HttpServer::stop()
{
    if (!daemon)
        return;
    stopAccepting();
    draining = true;
    {
        // Every connection accepted gets the reply to the request it came
        // with (the answer to "application.restart" among them), also one
        // whose request has not wholly arrived yet; an idle kept-alive
        // connection owes nothing and is closed.
        std::unique_lock<std::mutex> lock(connectionsMutex);
        forgetDroppedHandOvers();
        nothingOwed.wait_for(lock, DrainTimeout, [this] { return owing == 0; });
        // The connections closed now do not free the bound for anyone.
        atLimit = false;
    }
    // Joins every connection thread: no callback runs after this returns.
    MHD_stop_daemon(daemon);
    daemon = nullptr;
    draining = false;
    deadlineWatch.reset();
    // Closes the socket unless another keeps it for the next server.
    listening.reset();
    {
        std::lock_guard<std::mutex> lock(connectionsMutex);
        exchanges.clear();
        handedOver.clear();
        owing = 0;
    }
}

} // namespace tarvesk::network
