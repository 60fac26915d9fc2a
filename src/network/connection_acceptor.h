#pragma once

#include "network/burst_memory_release.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include <sys/socket.h>
#include <sys/types.h>

struct MHD_Daemon;

namespace tarvesk::network {

// Accepts the connections of the HTTP server on a thread of its own, keeps the
// bound on the connections served at once, and hands each admitted one over
// to libmicrohttpd. It also keeps the books on every connection it handed
// over: whether it is open and whether it still owes its client a reply, so
// that a stop can wait until every client has its answer.
//
// The bound is kept here, never by libmicrohttpd: a daemon that reaches its own
// connection limit while connections handed over to it are still being taken
// up locks itself up for good. Its limit is set well above the bound, and
// nothing is handed over while the daemon's own count (which lags behind the
// closed connections it has yet to clean up) has no room; such connections
// wait in the backlog meanwhile.
class ConnectionAcceptor
{
public:
    // Asked for every connection as it is accepted: false closes it at once.
    using PeerAdmission = std::function<bool(const sockaddr* address, socklen_t length)>;

    // bound: the connections served at once; daemonLimit: libmicrohttpd's own.
    ConnectionAcceptor(int bound, unsigned daemonLimit, PeerAdmission admitPeer);
    ~ConnectionAcceptor();
    ConnectionAcceptor(const ConnectionAcceptor&) = delete;
    ConnectionAcceptor& operator=(const ConnectionAcceptor&) = delete;

    int bound() const { return limit; }
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
    // called by the daemon's callbacks.
    void connectionOpened(int socket);
    void connectionClosed(int socket);
    void requestStarted(int socket);
    void requestFinished(int socket);
    // Connections open now (accepted and not yet closed).
    int openConnections() const;

private:
    // Whether a connection still owes its client a reply.
    enum class Exchange { AwaitingRequest, Handling, Idle };
    // Why accepting stopped with connections perhaps still in the backlog.
    enum class Backlog { Empty, OutOfDescriptors, DaemonFull };
    // What identifies a socket beyond its number, which a closed socket frees.
    struct SocketIdentity
    {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const SocketIdentity& other) const
        {
            return device == other.device && inode == other.inode;
        }
    };

    void run();
    // Accepts what waits in the backlog while the daemon has room for it.
    Backlog acceptWaiting();
    void handOver(int client, const sockaddr* address, socklen_t length);
    // Whether one more connection may be handed over; under mutex.
    bool boundHasRoom();
    // The connections that count against the bound; under mutex.
    int counted() const { return openCount + int(handedOver.size()) - int(gone.size()); }
    // Stops counting the connections whose clients have reset them or closed
    // them whole, which libmicrohttpd has yet to clean up; under mutex.
    void uncountClosedPeers();
    // Forgets connections handed over that libmicrohttpd closed without taking
    // them up (it says nothing of those); under mutex.
    void forgetDroppedHandOvers();
    // Forgets one connection handed over and not taken up; under mutex.
    void forgetHandOver(int socket);
    bool daemonHasRoom();
    // Under mutex.
    void settle(int socket, Exchange now);

    const int limit;
    const unsigned daemonLimit;
    const PeerAdmission admitPeer;
    MHD_Daemon* daemon = nullptr; // set before the thread starts
    int listening = -1;
    std::thread thread;
    int wake = -1; // an eventfd that ends the thread's wait
    mutable std::mutex mutex; // guards exchanges, handedOver, gone, nextLook, owing, openCount and atLimit
    std::condition_variable nothingOwed;
    // By socket, from when a connection is handed over: libmicrohttpd takes it
    // up later, on a thread of its own.
    std::unordered_map<int, Exchange> exchanges;
    // By socket, the connections handed over that libmicrohttpd has not yet
    // taken up: they count against the bound as the open ones do.
    std::unordered_map<int, SocketIdentity> handedOver;
    // By socket, connections handed over or open whose clients closed them:
    // they hold a descriptor until libmicrohttpd cleans them up, a moment
    // later, but no longer count against the bound. At most mostGone.
    std::unordered_set<int> gone;
    const int mostGone;
    std::chrono::steady_clock::time_point nextLook; // for closed peers, under mutex
    int owing = 0; // connections awaiting or handling a request
    int openCount = 0;
    bool atLimit = false; // the bound was reached and not yet left well behind
    BurstMemoryRelease burstMemory; // told the connections left, outside mutex
};

} // namespace tarvesk::network
