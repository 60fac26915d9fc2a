#include "network/mhd_callbacks.h"

#include "network/body_budget.h"
#include "network/http_request.h"
#include "network/http_request_handler.h"
#include "network/http_response.h"
#include "network/http_server.h"
#include "network/http_session.h"
#include "network/http_session_factory.h"
#include "network/mhd_reply.h"
#include "network/request_deadline_watch.h"
#include "network/request_framing.h"

#include <QDateTime>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>

namespace tarvesk::network {

namespace {

const char IllegalRequestBody[]
    = "<html><head><title>Illegal request</title></head><body>Go away.</body></html>";
// Fixed, so that saying it needs no memory to speak of.
const char OutOfMemoryBody[] = "Out of memory for this request: try again later.";
const char InternalErrorBody[] = "Internal server error.";
// The server's own refusals are short texts.
const char PlainText[] = "text/plain";

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

MHD_Result queued(int result)
{
    return static_cast<MHD_Result>(result);
}

MHD_Result queueBodyRefused(MHD_Connection* connection, const HttpRequest* request, bool closing)
{
    if (request->whyBodyRefused() == HttpRequest::BodyRefusal::NoMemory) {
        return queued(MhdReply::queueFixed(
            connection, MHD_HTTP_SERVICE_UNAVAILABLE, OutOfMemoryBody, sizeof OutOfMemoryBody - 1, PlainText));
    }
    HttpResponse reply;
    reply.setContentType(QLatin1String(PlainText));
    if (request->whyBodyRefused() == HttpRequest::BodyRefusal::NoRoom) {
        reply.setStatusCode(MHD_HTTP_SERVICE_UNAVAILABLE);
        reply.setData(QByteArrayLiteral(
            "Request bodies of other clients take all the memory set aside for bodies: try again later."));
    } else {
        reply.setStatusCode(MHD_HTTP_CONTENT_TOO_LARGE);
        reply.setData(QByteArrayLiteral("Request body too large."));
    }
    return queued(MhdReply::queue(connection, reply, request->getSession().get(), closing));
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

// The Content-Length of the request: -1 when there is none, more than
// MaxBodySize when it is larger (or too large to read).
qint64 declaredBodyLength(MHD_Connection* connection)
{
    const char* length
        = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length)
        return -1;
    errno = 0;
    const unsigned long long declared = std::strtoull(length, nullptr, 10);
    if (errno == ERANGE || declared > static_cast<unsigned long long>(HttpRequest::MaxBodySize))
        return HttpRequest::MaxBodySize + 1;
    return qint64(declared);
}

// Room for the first `arrived` bytes of the request's body, taken before
// they are buffered; a body that finds none in time is refused.
bool makeBodyRoom(HttpServer* server, HttpRequest* request, qint64 arrived)
{
    BodyBudget::Reservation& room = request->bodyRoom();
    if (arrived <= room.bytes()
        || request->growBodyRoom(room.roomFor(arrived, HttpRequest::MaxBodySize), server->bodyWait()))
        return true;
    request->refuseBody(HttpRequest::BodyRefusal::NoRoom);
    server->logBodyTurnedAway();
    return false;
}

// Refuses a body announced larger than it may be, or larger than the room
// the bodies held now leave it (after a wait for them): before any of it is
// read, which is the last moment a refusal can be answered at once. Its room
// is taken only as it arrives: an announcement that is never followed by its
// bytes holds none.
void judgeAnnouncedBody(HttpServer* server, HttpRequest* request, qint64 announced)
{
    if (announced > HttpRequest::MaxBodySize) {
        request->refuseBody(HttpRequest::BodyRefusal::TooLarge);
    } else if (!request->bodyRoom().waitForRoom(server->bodyWait())) {
        request->refuseBody(HttpRequest::BodyRefusal::NoRoom);
        server->logBodyTurnedAway();
    }
}

// Gives the connection's time back to the peer when the handler is done,
// also when it ends in an exception.
class HandlerTime
{
public:
    HandlerTime(RequestDeadlineWatch* deadlines, MHD_Connection* connection)
        : deadlines(deadlines)
        , connection(connection)
    {
        deadlines->disarm(connection);
    }
    ~HandlerTime() { deadlines->arm(connection, RequestDeadlineWatch::Wait::Reply); }
    HandlerTime(const HandlerTime&) = delete;
    HandlerTime& operator=(const HandlerTime&) = delete;

private:
    RequestDeadlineWatch* deadlines;
    MHD_Connection* connection;
};

int socketOf(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info ? info->connect_fd : -1;
}

} // namespace

MHD_Result MhdCallbacks::access(void* server, MHD_Connection* connection, const char* url, const char* method,
    const char* version, const char* uploadData, size_t* uploadDataSize, void** context)
{
    // Nothing may be thrown into libmicrohttpd, which is C: a request that
    // finds no memory (or fails otherwise) gets an error, and the service
    // goes on serving.
    try {
        return serve(server, connection, url, method, version, uploadData, uploadDataSize, context);
    } catch (const std::bad_alloc&) {
        return fail(connection, uploadDataSize, context, MHD_HTTP_SERVICE_UNAVAILABLE);
    } catch (...) {
        return fail(connection, uploadDataSize, context, MHD_HTTP_INTERNAL_SERVER_ERROR);
    }
}

MHD_Result MhdCallbacks::fail(MHD_Connection* connection, size_t* uploadDataSize, void** context, unsigned status)
{
    auto* request = static_cast<HttpRequest*>(*context);
    if (request && *uploadDataSize != 0) {
        // Part-way through the body no reply can be queued: the rest is
        // read and dropped, and the reply follows at its end.
        *uploadDataSize = 0;
        request->refuseBody(HttpRequest::BodyRefusal::NoMemory);
        return MHD_YES;
    }
    if (request)
        request->refuseBody(HttpRequest::BodyRefusal::NoMemory);
    if (status == MHD_HTTP_SERVICE_UNAVAILABLE)
        return queued(
            MhdReply::queueFixed(connection, status, OutOfMemoryBody, sizeof OutOfMemoryBody - 1, PlainText));
    return queued(
        MhdReply::queueFixed(connection, status, InternalErrorBody, sizeof InternalErrorBody - 1, PlainText));
}

MHD_Result MhdCallbacks::serve(void* server, MHD_Connection* connection, const char* url, const char* method,
    const char*, const char* uploadData, size_t* uploadDataSize, void** context)
{
    auto* httpServer = static_cast<HttpServer*>(server);
    auto* request = static_cast<HttpRequest*>(*context);
    // A refusal answers a request that has arrived (or never will be read
    // whole): the peer's time now runs for taking the reply.
    const auto takingReply
        = [&] { httpServer->deadlines()->arm(connection, RequestDeadlineWatch::Wait::Reply); };
    if (!request) {
        request = new HttpRequest(fromC(method), fromC(url));
        *context = request;
        httpServer->requestStarted(socketOf(connection));
        // A body whose end can be read two ways is refused before any of it is read.
        if (const std::unique_ptr<HttpResponse> refusal = RequestFraming::refusalFor(connection)) {
            request->refuseBody(); // the rest of it is discarded unread
            if (!admitConnection(httpServer, connection, request))
                return MHD_NO;
            takingReply();
            return queued(MhdReply::queue(connection, *refusal, request->getSession().get(), true));
        }
        if (request->getMethod() != QLatin1String("POST"))
            return MHD_YES;
        const qint64 announced = declaredBodyLength(connection);
        request->setBodyRoom(httpServer->bodyBudget()->reservation(announced));
        judgeAnnouncedBody(httpServer, request, announced);
        if (!request->isBodyRefused())
            return MHD_YES;
        if (!admitConnection(httpServer, connection, request))
            return MHD_NO;
        takingReply();
        return queueBodyRefused(connection, request, httpServer->isDraining());
    }

    if (!admitConnection(httpServer, connection, request))
        return MHD_NO;

    const QString verb = request->getMethod();
    if (verb == QLatin1String("OPTIONS"))
        return queued(MhdReply::queueOptions(connection));

    if (*uploadDataSize != 0) {
        const size_t size = *uploadDataSize;
        *uploadDataSize = 0;
        // Only a POST body is read; others are consumed unread, since
        // libmicrohttpd cannot queue a reply while body bytes are pending.
        if (verb != QLatin1String("POST") || request->isBodyRefused())
            return MHD_YES; // discard the rest of a refused body
        const qint64 needed = request->getUploadData().size() + qint64(size);
        if (needed > HttpRequest::MaxBodySize) {
            request->refuseBody(HttpRequest::BodyRefusal::TooLarge);
            return MHD_YES;
        }
        if (!makeBodyRoom(httpServer, request, needed))
            return MHD_YES;
        request->appendUploadData(uploadData, size);
        return MHD_YES;
    }

    if (verb != QLatin1String("GET") && verb != QLatin1String("HEAD") && verb != QLatin1String("POST"))
        return queued(MhdReply::queueFixed(
            connection, MHD_HTTP_NOT_ACCEPTABLE, IllegalRequestBody, sizeof IllegalRequestBody - 1));

    if (request->isBodyRefused()) {
        takingReply();
        return queueBodyRefused(connection, request, httpServer->isDraining());
    }

    MHD_get_connection_values(connection, MHD_COOKIE_KIND, &collectCookie, request);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, request);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &collectQueryItem, request);

    const auto handler = currentInstalledHandler();
    if (!handler)
        return MHD_NO;
    std::unique_ptr<HttpResponse> reply;
    {
        // The request is all here: its handling takes what it takes, and the
        // peer's time starts again for taking the reply.
        HandlerTime handling(httpServer->deadlines(), connection);
        reply.reset(handler->handleRequest(request));
    }
    // The body's room is free for others while the reply goes out.
    request->releaseBody();
    if (!reply)
        return MHD_NO;
    return queued(MhdReply::queue(connection, *reply, request->getSession().get(), httpServer->isDraining(),
        verb == QLatin1String("HEAD")));
}

void MhdCallbacks::requestCompleted(
    void* server, MHD_Connection* connection, void** context, MHD_RequestTerminationCode code)
{
    // The next request on a kept-alive connection has its own time.
    if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK)
        static_cast<HttpServer*>(server)->deadlines()->arm(connection, RequestDeadlineWatch::Wait::Request);
    if (!*context)
        return;
    delete static_cast<HttpRequest*>(*context);
    *context = nullptr;
    static_cast<HttpServer*>(server)->requestFinished(socketOf(connection));
}

void MhdCallbacks::connectionNotified(
    void* server, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
{
    auto* httpServer = static_cast<HttpServer*>(server);
    RequestDeadlineWatch* deadlines = httpServer->deadlines();
    try {
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            httpServer->connectionOpened(socketOf(connection));
            deadlines->watch(connection, socketOf(connection));
            return;
        }
        // libmicrohttpd closes the socket only after this returns.
        deadlines->forget(connection);
        httpServer->connectionClosed(socketOf(connection));
        if (const auto factory = currentSessionFactory())
            factory->removeSession(connection);
    } catch (...) {
        // Out of memory for the books of a connection: it is served without
        // a deadline of its own, which libmicrohttpd's idle time-out bounds.
    }
}

void MhdCallbacks::logMessage(void* server, const char* format, va_list arguments)
{
    try {
        static_cast<HttpServer*>(server)->logDaemonMessage(format, arguments);
    } catch (...) {
        // A message that cannot be written for want of memory is lost.
    }
}

} // namespace tarvesk::network
