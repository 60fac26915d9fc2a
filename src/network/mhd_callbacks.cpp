#include "network/mhd_callbacks.h"

#include "network/http_request.h"
#include "network/http_request_handler.h"
#include "network/http_response.h"
#include "network/http_server.h"
#include "network/http_session.h"
#include "network/http_session_factory.h"
#include "network/mhd_reply.h"
#include "network/request_deadline_watch.h"

#include <QDateTime>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace tarvesk::network {

namespace {

const char IllegalRequestBody[]
    = "<html><head><title>Illegal request</title></head><body>Go away.</body></html>";

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

MHD_Result queueBodyTooLarge(MHD_Connection* connection, const HttpRequest* request, bool closing)
{
    HttpResponse reply;
    reply.setStatusCode(MHD_HTTP_CONTENT_TOO_LARGE);
    reply.setData(QByteArrayLiteral("Request body too large."));
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

} // namespace

MHD_Result MhdCallbacks::access(void* server, MHD_Connection* connection, const char* url, const char* method,
    const char*, const char* uploadData, size_t* uploadDataSize, void** context)
{
    auto* httpServer = static_cast<HttpServer*>(server);
    auto* request = static_cast<HttpRequest*>(*context);
    if (!request) {
        request = new HttpRequest(fromC(method), fromC(url));
        *context = request;
        httpServer->requestStarted(socketOf(connection));
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
        return queued(MhdReply::queueOptions(connection));

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
        return queued(MhdReply::queueFixed(
            connection, MHD_HTTP_NOT_ACCEPTABLE, IllegalRequestBody, sizeof IllegalRequestBody - 1));

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
    return queued(MhdReply::queue(connection, *reply, request->getSession().get(), httpServer->isDraining(),
        verb == QLatin1String("HEAD")));
}

void MhdCallbacks::requestCompleted(
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

void MhdCallbacks::connectionNotified(
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

void MhdCallbacks::logMessage(void* server, const char* format, va_list arguments)
{
    static_cast<HttpServer*>(server)->logDaemonMessage(format, arguments);
}

} // namespace tarvesk::network
