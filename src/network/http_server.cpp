#include "network/http_server.h"

#include "log/logging_categories.h"
#include "network/body_budget.h"
#include "network/connection_acceptor.h"
#include "network/descriptor_budget.h"
#include "network/http_host_whitelist.h"
#include "network/listen_socket.h"
#include "network/mhd_callbacks.h"
#include "network/request_deadline_watch.h"
#include "network/url_unescape.h"

#include <QDebug>

#include <microhttpd.h>

#include <algorithm>
#include <cstdio>


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

const char RefusedPeerText[] = "Someone trying to connect who shouldn't";
const char TurnedAwayBodyText[] = "Turned a request body away: the bodies of other requests take its room";

qint64 bodyBudgetFromEnvironment()
{
    bool isNumber = false;
    const qint64 bytes = qEnvironmentVariable(HttpServer::BodyBudgetVariable).toLongLong(&isNumber);
    return isNumber && bytes > 0 ? bytes : BodyBudget::DefaultBytes;
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
    if (!listening->isOpen() && !listening->errorText().empty()) {
        // What the daemon said when it opened the port itself.
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX << "HTTP server:" << QString::fromStdString(listening->errorText());
    }
    if (listening->isOpen()) {
        deadlineWatch = std::make_unique<RequestDeadlineWatch>(arrivalTimeout);
        bodies = std::make_unique<BodyBudget>(
            requestedBodyBudget > 0 ? requestedBodyBudget : bodyBudgetFromEnvironment());
        activeConnectionLimit = requestedConnectionLimit > 0 ? requestedConnectionLimit
                                                             : std::max(1, DescriptorBudget::connectionLimitNow());
        // Twice the bound: libmicrohttpd counts a closed connection until it
        // has cleaned it up, and must never reach its own limit.
        const unsigned daemonConnectionLimit = 2 * unsigned(activeConnectionLimit);
        acceptor = std::make_unique<ConnectionAcceptor>(
            activeConnectionLimit, daemonConnectionLimit, [this](const sockaddr* address, socklen_t length) {
                if (acceptsPeer(address, length))
                    return true;
                logRefusedPeer();
                return false;
            });
        // One thread per connection needs libmicrohttpd's internal polling
        // thread; newer versions insist that it is asked for. With select()
        // no descriptor from FD_SETSIZE (1024) on could be served. The
        // connections are accepted here and handed over (MHD_add_connection).
        const unsigned flags = MHD_USE_ERROR_LOG | MHD_USE_THREAD_PER_CONNECTION
            | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_PEDANTIC_CHECKS
            | MHD_USE_NO_LISTEN_SOCKET | MHD_USE_ITC;
        // The logger comes first, so that not even a complaint about the
        // other options goes to standard error.
        daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &MhdCallbacks::access, this,
            MHD_OPTION_EXTERNAL_LOGGER, &MhdCallbacks::logMessage, this, MHD_OPTION_UNESCAPE_CALLBACK,
            &UrlUnescape::callback, nullptr, MHD_OPTION_CONNECTION_TIMEOUT,
            unsigned(idleTimeout.count()), MHD_OPTION_CONNECTION_LIMIT, daemonConnectionLimit,
            MHD_OPTION_THREAD_STACK_SIZE, ConnectionThreadStackSize, MHD_OPTION_NOTIFY_COMPLETED,
            &MhdCallbacks::requestCompleted, this, MHD_OPTION_NOTIFY_CONNECTION, &MhdCallbacks::connectionNotified,
            this, MHD_OPTION_END);
        if (daemon && !acceptor->start(daemon, listening->descriptor())) {
            MHD_stop_daemon(daemon);
            daemon = nullptr;
        }
    }
    if (!daemon) {
        acceptor.reset();
        bodies.reset();
        deadlineWatch.reset();
        if (!listening->isOpen())
            listening.reset();
        qCCritical(service::loggerGlog()) << GLOG_PREFIX << "Couldn't start Http server";
        return false;
    }
    qCInfo(service::loggerGlog()) << GLOG_PREFIX << "HTTP server takes up to" << activeConnectionLimit
                                  << "connections at once";
    qCInfo(service::loggerGlog()) << GLOG_PREFIX << "HTTP server holds up to" << bodies->bytes()
                                  << "bytes of request bodies at once";
    return true;
}

int HttpServer::openConnections() const
{
    return acceptor ? acceptor->openConnections() : 0;
}

void HttpServer::connectionOpened(int socket)
{
    acceptor->connectionOpened(socket);
}

void HttpServer::connectionClosed(int socket)
{
    acceptor->connectionClosed(socket);
}

void HttpServer::requestStarted(int socket)
{
    acceptor->requestStarted(socket);
}

void HttpServer::requestFinished(int socket)
{
    acceptor->requestFinished(socket);
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

void HttpServer::logBodyTurnedAway()
{
    int heldBack = 0;
    if (!turnedAwayBodies.admit(TurnedAwayBodyText, LogThrottle::Clock::now(), &heldBack))
        return;
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QStringLiteral("%1 (%2 bytes at most)%3")
               .arg(QLatin1String(TurnedAwayBodyText))
               .arg(bodies->bytes())
               .arg(LogThrottle::heldBackNote(heldBack));
}

void HttpServer::stopAccepting()
{
    if (acceptor)
        acceptor->stopAccepting();
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
    if (daemon)
        acceptor->takeBacklog(std::chrono::seconds(1));
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
    // Every connection accepted gets the reply to the request it came with
    // (the answer to "application.restart" among them), also one whose
    // request has not wholly arrived yet; an idle kept-alive connection owes
    // nothing and is closed.
    acceptor->waitUntilNothingOwed(DrainTimeout);
    // The connections are closed now: none of them waits for room.
    bodies->stopWaits();
    // Joins every connection thread: no callback runs after this returns.
    MHD_stop_daemon(daemon);
    daemon = nullptr;
    draining = false;
    acceptor.reset();
    bodies.reset();
    deadlineWatch.reset();
    // Closes the socket unless another keeps it for the next server.
    listening.reset();
}

} // namespace tarvesk::network
