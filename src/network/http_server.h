#pragma once

#include "network/log_throttle.h"
#include "network/service.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <functional>
#include <memory>

#include <sys/socket.h>
#include <sys/types.h>

struct MHD_Daemon;

namespace tarvesk::network {

class BodyBudget;
class ConnectionAcceptor;
class HttpRequestHandler;
class HttpSessionFactory;
class ListenSocket;
class RequestDeadlineWatch;

// The two objects every connection thread reads. They are set by the service
// before the daemon starts and cleared after it stopped; connection threads
// read them through currentInstalledHandler() and currentSessionFactory().
extern std::shared_ptr<HttpRequestHandler> installedHandler;
extern std::shared_ptr<HttpSessionFactory> httpSessionFactory;

void setInstalledHandler(std::shared_ptr<HttpRequestHandler> handler);
std::shared_ptr<HttpRequestHandler> currentInstalledHandler();
void setHttpSessionFactory(std::shared_ptr<HttpSessionFactory> factory);
std::shared_ptr<HttpSessionFactory> currentSessionFactory();

// Starts and stops the libmicrohttpd daemon that serves the service port, one
// thread per connection. Requests go to the installed handler (MhdCallbacks
// turns the daemon's calls into requests and replies).
//
// The daemon waits with poll(), so that a connection's descriptor may have any
// number, and takes a bounded number of connections at once, well below the
// process's descriptor limit: the service's own files (log, USB, data package,
// profiles) always open, however many connections clients hold. A connection
// over the bound is closed as soon as it is accepted, before a byte is read;
// the log says so once when the bound is reached, not once per connection.
// The ConnectionAcceptor keeps the bound and hands connections over.
//
// Connections are accepted by a thread of the server's own from a listen
// socket that may outlive the server: a restart stops accepting, answers every
// connection it accepted, and leaves the socket to the next server, so that a
// client connecting meanwhile waits in the backlog and is answered then.
class HttpServer : public Service
{
public:
    // Asked for every connection as it is accepted, before it gets a thread:
    // false closes it at once. The host whitelist unless another is given.
    using PeerPolicy = std::function<bool(const sockaddr* address, socklen_t length)>;

    static constexpr unsigned ConnectionTimeoutSeconds = 30;
    // How long stop() lets the connections it accepted get their replies
    // before it closes every connection.
    static constexpr std::chrono::milliseconds DrainTimeout {5000};
    // The most a connection may take, all told, to deliver one request's
    // headers and body (and to take the reply); the idle time-out alone lets a
    // peer that sends a byte now and then hold a connection for ever.
    static constexpr std::chrono::milliseconds RequestArrivalTimeout {30000};

    // Descriptors left to the service's own files, whatever the connections hold.
    static constexpr int DescriptorReserve = 256;
    // The most connections served at once, each on a thread of its own.
    static constexpr int MaximumConnections = 2048;
    // The stack of a connection's thread: fixed, not whatever the shell that
    // started the service gives new threads, so that the threads of many
    // connections cost a known amount.
    static constexpr std::size_t ConnectionThreadStackSize = 2 * 1024 * 1024;
    // Messages of libmicrohttpd that repeat per connection are logged at most
    // once in this time.
    static constexpr std::chrono::milliseconds RepeatedMessagePeriod {60000};

    // The environment variable that sets another budget for the request
    // bodies held at once (in bytes), for tests that reach it quickly.
    static constexpr char BodyBudgetVariable[] = "QM_HTTP_BODY_BUDGET";

    // The connections served at once for a descriptor limit: the limit less
    // the reserve (half the limit where it is small), at most MaximumConnections.
    static int connectionLimitFor(unsigned long long descriptorLimit);

    explicit HttpServer(int port, PeerPolicy peerPolicy = {});
    ~HttpServer() override;

    // Listens on the socket given to useListenSocket() when it is open on this
    // server's port, else on a socket of its own.
    bool start() override;
    bool isRunning() const override;
    // Stops accepting, waits (up to DrainTimeout) until every connection
    // accepted has the reply to the request it came with or sent since, then
    // closes them all. The listen socket stays open while another holds it.
    void stop() override;
    int getPort() const { return port; }
    // Takes effect at the next start().
    void useListenSocket(std::shared_ptr<ListenSocket> socket) { listening = std::move(socket); }
    // The socket listened on while running (or given by useListenSocket());
    // null after stop(), which lets go of it.
    const std::shared_ptr<ListenSocket>& listenSocket() const { return listening; }
    // New connections wait in the listen socket's backlog from now on.
    void stopAccepting();
    // For a shut-down: stops accepting, takes the connections already waiting
    // in the backlog and closes the listen socket, so that later ones are
    // refused. stop() then answers every connection taken.
    void closeListening();
    // While stop() lets the accepted connections finish: replies then tell
    // the client that the connection closes.
    bool isDraining() const { return draining; }
    // Takes effect at the next start().
    void setRequestArrivalTimeout(std::chrono::milliseconds timeout) { arrivalTimeout = timeout; }
    // Takes effect at the next start(): how long a connection may stay idle
    // before libmicrohttpd closes it (ConnectionTimeoutSeconds unless set).
    void setIdleTimeout(std::chrono::seconds timeout) { idleTimeout = timeout; }
    // Takes effect at the next start(); 0 (the default) takes
    // connectionLimitFor() the soft descriptor limit in force then.
    void setConnectionLimit(int limit) { requestedConnectionLimit = limit; }
    // The bound in force while running.
    int connectionLimit() const { return activeConnectionLimit; }
    // Connections open now (accepted and not yet closed).
    int openConnections() const;
    // Takes effect at the next start(); 0 (the default) takes the bytes
    // BodyBudgetVariable names, else BodyBudget::DefaultBytes.
    void setBodyBudget(qint64 bytes) { requestedBodyBudget = bytes; }
    // The budget of the request bodies held at once; null while stopped.
    BodyBudget* bodyBudget() const { return bodies.get(); }
    // How long a body waits for room in the budget before it is refused: a
    // part of the time its request may take to arrive.
    std::chrono::milliseconds bodyWait() const { return arrivalTimeout / 6; }
    // The watch of the connections' deadlines; null while stopped.
    RequestDeadlineWatch* deadlines() const { return deadlineWatch.get(); }
    bool acceptsPeer(const sockaddr* address, socklen_t length) const;

    // Bookkeeping of the open connections and their requests, by socket,
    // called by the daemon's callbacks.
    void connectionOpened(int socket);
    void connectionClosed(int socket);
    void requestStarted(int socket);
    void requestFinished(int socket);
    // Writes a message of libmicrohttpd to the log, unless the same message
    // was written less than RepeatedMessagePeriod ago.
    void logDaemonMessage(const char* format, va_list arguments);
    // Logs that a peer was refused, at most once per RepeatedMessagePeriod: a
    // host on the network that connects again and again must not fill the log.
    void logRefusedPeer();
    // Logs that a body was refused for want of room, at most once per
    // RepeatedMessagePeriod.
    void logBodyTurnedAway();

private:
    int port;
    PeerPolicy peerPolicy;
    MHD_Daemon* daemon = nullptr;
    std::chrono::milliseconds arrivalTimeout = RequestArrivalTimeout;
    std::chrono::seconds idleTimeout {ConnectionTimeoutSeconds};
    std::unique_ptr<RequestDeadlineWatch>
        deadlineWatch; // made before the daemon starts, ended after it stopped
    // Made before the daemon starts, ended after it stopped: the daemon's
    // threads use it in their callbacks.
    std::unique_ptr<ConnectionAcceptor> acceptor;
    std::unique_ptr<BodyBudget> bodies; // as the acceptor
    std::shared_ptr<ListenSocket> listening;
    std::atomic<bool> draining {false};
    qint64 requestedBodyBudget = 0;
    int requestedConnectionLimit = 0;
    int activeConnectionLimit = 0; // written before the daemon starts, read by its threads
    LogThrottle daemonMessages {RepeatedMessagePeriod};
    LogThrottle refusedPeers {RepeatedMessagePeriod};
    LogThrottle turnedAwayBodies {RepeatedMessagePeriod};
};

} // namespace tarvesk::network
