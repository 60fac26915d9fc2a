#pragma once

#include "network/burst_memory_release.h"
#include "network/connection_ledger.h"

#include <chrono>
#include <functional>
#include <thread>

#include <sys/socket.h>
#include <sys/types.h>

struct MHD_Daemon;

namespace tarvesk::network {

// Accepts the connections of the HTTP server on a thread of its own, keeps the
// bound on the connections served at once, and hands each admitted one over
// to libmicrohttpd. Its ConnectionLedger keeps the books on every connection
// handed over: whether it counts against the bound and whether it still owes
// its client a reply, so that a stop can wait until every client has its
// answer.
//
// The bound is kept here, never by libmicrohttpd: a daemon that reaches its own
// connection limit while connections handed over to it are still being taken
// up locks itself up for good. Its limit is set well above the bound, and
// nothing is handed over while the daemon's own count (which lags behind the
// closed connections it has yet to clean up) has no room; such connections
// wait in the backlog meanwhile.
//
// A connection whose peer has closed it stops counting at once, before
// libmicrohttpd has cleaned it up: every socket handed over is watched for
// its peer's close (an epoll set that forgets a socket by itself once it is
// closed), and the acceptor's thread marks it gone in the ledger whenever the
// bound is full, before it turns anyone away.
class ConnectionAcceptor
{
public:
    // Asked for every connection as it is accepted: false closes it at once.
    using PeerAdmission = std::function<bool(const sockaddr* address, socklen_t length)>;

    // Connections whose peers closed them that may hold descriptors beside the
    // bound until libmicrohttpd has cleaned them up.
    static constexpr int MostGone = 32;

    // bound: the connections served at once; daemonLimit: libmicrohttpd's own.
    ConnectionAcceptor(int bound, unsigned daemonLimit, PeerAdmission admitPeer);
    ~ConnectionAcceptor();
    ConnectionAcceptor(const ConnectionAcceptor&) = delete;
    ConnectionAcceptor& operator=(const ConnectionAcceptor&) = delete;

    int bound() const { return ledger.bound(); }
    // Starts accepting from the listen socket into the daemon; false when no
    // thread could be made ready.
    bool start(MHD_Daemon* daemon, int listenDescriptor);
    // New connections wait in the listen socket's backlog from now on.
    void stopAccepting();
    // Takes what waits in the backlog, giving the daemon up to `patience` to
    // clean up closed connections when it has no room. Accepting has stopped.
    void takeBacklog(std::chrono::milliseconds patience);
    // Waits until no connection owes its client a reply (at most `timeout`).
    void waitUntilNothingOwed(std::chrono::milliseconds timeout);

    // Bookkeeping of the open connections and their requests, by socket,
    // called by the daemon's callbacks: a few counts each, however many
    // connections are held.
    void connectionOpened(int socket);
    void connectionClosed(int socket);
    void requestStarted(int socket);
    void requestFinished(int socket);
    // Connections open now (taken up and not yet closed).
    int openConnections() const;

private:
    // Why accepting stopped with connections perhaps still in the backlog:
    // none left, no descriptors, the daemon behind (no room in it, or the
    // bound held by connections closed that it has yet to clean up), or a
    // round taken.
    enum class Backlog { Empty, OutOfDescriptors, DaemonBehind, More };

    void run();
    // Accepts what waits in the backlog while the daemon has room for it, a
    // round at most.
    Backlog acceptWaiting();
    void handOver(int client, const sockaddr* address, socklen_t length);
    bool daemonHasRoom();
    // Marks gone the connections whose peers closed them since the last look.
    void takeClosures();

    ConnectionLedger ledger;
    const unsigned daemonLimit;
    const PeerAdmission admitPeer;
    MHD_Daemon* daemon = nullptr; // set before the thread starts
    int listening = -1;
    std::thread thread;
    int wake = -1; // an eventfd that ends the thread's wait
    int closures = -1; // the epoll set of the sockets handed over
    BurstMemoryRelease burstMemory; // told the connections left, outside the ledger's mutex
};

} // namespace tarvesk::network
