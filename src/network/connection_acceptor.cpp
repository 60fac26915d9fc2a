#include "network/connection_acceptor.h"

#include "log/logging_categories.h"

#include <QDebug>

#include <microhttpd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk::network {

namespace {

// Whether the client has closed the connection already: reset it, or ended it
// without sending a byte. Nothing can be owed to it.
bool peerHasClosed(int socket)
{
    pollfd ready {socket, POLLIN | POLLRDHUP, 0};
    if (::poll(&ready, 1, 0) <= 0)
        return false;
    if ((ready.revents & (POLLERR | POLLHUP)) != 0)
        return true;
    char byte = 0;
    return (ready.revents & POLLRDHUP) != 0 && ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

} // namespace

ConnectionAcceptor::ConnectionAcceptor(int bound, unsigned daemonLimit, PeerAdmission admitPeer)
    : limit(bound)
    , daemonLimit(daemonLimit)
    , admitPeer(std::move(admitPeer))
    // Closed connections are cleaned up a moment later; until then they hold
    // descriptors beyond the bound, as many as libmicrohttpd's own limit
    // (twice the bound) lets it hold anyway.
    , mostGone(bound)
{ }

ConnectionAcceptor::~ConnectionAcceptor()
{
    stopAccepting();
}

bool ConnectionAcceptor::start(MHD_Daemon* mhdDaemon, int listenDescriptor)
{
    daemon = mhdDaemon;
    listening = listenDescriptor;
    wake = ::eventfd(0, EFD_CLOEXEC);
    if (wake < 0)
        return false;
    thread = std::thread(&ConnectionAcceptor::run, this);
    return true;
}

void ConnectionAcceptor::stopAccepting()
{
    if (!thread.joinable())
        return;
    const uint64_t one = 1;
    while (::write(wake, &one, sizeof one) < 0 && errno == EINTR) { }
    thread.join();
    ::close(wake);
    wake = -1;
}

void ConnectionAcceptor::takeBacklog(std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (acceptWaiting() == Backlog::DaemonFull && std::chrono::steady_clock::now() < deadline)
        ::poll(nullptr, 0, 5);
}

void ConnectionAcceptor::waitUntilNothingOwed(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex);
    forgetDroppedHandOvers();
    nothingOwed.wait_for(lock, timeout, [this] { return owing == 0; });
    // The connections closed now do not free the bound for anyone.
    atLimit = false;
}

int ConnectionAcceptor::openConnections() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return openCount;
}

void ConnectionAcceptor::connectionOpened(int socket)
{
    std::lock_guard<std::mutex> lock(mutex);
    handedOver.erase(socket);
    ++openCount;
    // Handed over by the acceptor, it is owed a reply already.
    if (exchanges.emplace(socket, Exchange::AwaitingRequest).second)
        ++owing;
}

void ConnectionAcceptor::connectionClosed(int socket)
{
    int count = 0;
    bool left = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        settle(socket, Exchange::Idle);
        exchanges.erase(socket);
        gone.erase(socket);
        --openCount;
        count = counted();
        // Left once a tenth of the bound is free again: a client that keeps
        // it full, closing one connection and opening the next, does not
        // write two lines each time.
        left = atLimit && count <= limit - std::max(1, limit / 10);
        atLimit = atLimit && !left;
    }
    if (left) {
        qCInfo(service::loggerGlog())
            << GLOG_PREFIX << "HTTP server holds" << count << "connections: new ones are accepted again";
    }
    burstMemory.connectionsLeft(count);
}

void ConnectionAcceptor::requestStarted(int socket)
{
    std::lock_guard<std::mutex> lock(mutex);
    settle(socket, Exchange::Handling);
}

void ConnectionAcceptor::requestFinished(int socket)
{
    std::lock_guard<std::mutex> lock(mutex);
    settle(socket, Exchange::Idle);
}

void ConnectionAcceptor::settle(int socket, Exchange now)
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

void ConnectionAcceptor::run()
{
    pollfd waits[2] = {{listening, POLLIN, 0}, {wake, POLLIN, 0}};
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
        waits[0].fd = backlog == Backlog::Empty ? listening : -1;
        const int ready = ::poll(waits, 2, timeout);
        if (waits[1].revents != 0)
            return;
        if (backlog != Backlog::Empty || (ready > 0 && (waits[0].revents & POLLIN) != 0))
            backlog = acceptWaiting();
    }
}

bool ConnectionAcceptor::daemonHasRoom()
{
    // Asked outside the mutex: the daemon's threads take it in our callbacks
    // while they may hold locks of the daemon's own.
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    if (!info)
        return true;
    std::lock_guard<std::mutex> lock(mutex);
    // A connection handed over may be counted by the daemon already: counted
    // twice here, never too few.
    return info->num_connections + handedOver.size() < daemonLimit;
}

ConnectionAcceptor::Backlog ConnectionAcceptor::acceptWaiting()
{
    for (;;) {
        if (!daemonHasRoom())
            return Backlog::DaemonFull;
        sockaddr_storage address {};
        socklen_t length = sizeof address;
        const int client = ::accept4(
            listening, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
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

void ConnectionAcceptor::handOver(int client, const sockaddr* address, socklen_t length)
{
    // A foreign peer is turned away as its connection is accepted: refused only
    // once its headers had arrived, it could hold a connection thread (and one
    // of the daemon's connection slots) for the whole timeout by sending
    // nothing, and enough such peers would lock the local clients out.
    if (!admitPeer(address, length)) {
        ::close(client);
        return;
    }
    // A client that connects and resets as fast as it can would fill the
    // bound with connections that are closed already, each counted until
    // libmicrohttpd has cleaned it up: such a connection never gets that far.
    if (peerHasClosed(client)) {
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
        std::lock_guard<std::mutex> lock(mutex);
        // Its number was free: a connection handed over with that number
        // before was closed without being taken up.
        forgetHandOver(client);
        admitted = boundHasRoom();
        if (admitted) {
            handedOver.emplace(client, identity);
            // Owed a reply from now on: a stop must not find nothing owed
            // while libmicrohttpd has yet to take the connection up.
            exchanges.emplace(client, Exchange::Idle);
            settle(client, Exchange::AwaitingRequest);
            reached = !atLimit && counted() >= limit;
            atLimit = atLimit || reached;
        }
    }
    if (!admitted) {
        ::close(client);
        return;
    }
    if (reached) {
        qCWarning(service::loggerGlog()) << GLOG_PREFIX << "HTTP server holds" << limit
                                         << "connections, the most it takes at once: more are closed as "
                                            "they are accepted until some end";
    }
    if (MHD_add_connection(daemon, client, address, length) != MHD_YES) {
        // Closed: no other connection has its number yet, since only this
        // thread accepts.
        std::lock_guard<std::mutex> lock(mutex);
        forgetHandOver(client);
    }
}

bool ConnectionAcceptor::boundHasRoom()
{
    if (counted() < limit)
        return true;
    forgetDroppedHandOvers();
    if (counted() < limit)
        return true;
    uncountClosedPeers();
    return counted() < limit;
}

void ConnectionAcceptor::uncountClosedPeers()
{
    // Looked at once a millisecond at most: while live connections hold the
    // bound, turning away one more costs no look at every socket.
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook || int(gone.size()) >= mostGone)
        return;
    nextLook = now + std::chrono::milliseconds(1);
    std::vector<pollfd> sockets;
    sockets.reserve(exchanges.size());
    // Every socket here is open: libmicrohttpd closes a connection's socket
    // only after connectionClosed() (which waits for the mutex), and those
    // handed over that it dropped were forgotten just now.
    for (const auto& [socket, exchange] : exchanges) {
        if (gone.count(socket) == 0)
            sockets.push_back({socket, 0, 0});
    }
    if (::poll(sockets.data(), sockets.size(), 0) <= 0)
        return;
    // Only a reset or a connection closed both ways: a client that closed
    // its side after its request waits for the reply.
    for (const pollfd& socket : sockets) {
        if ((socket.revents & (POLLERR | POLLHUP)) != 0 && int(gone.size()) < mostGone)
            gone.insert(socket.fd);
    }
}

void ConnectionAcceptor::forgetDroppedHandOvers()
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

void ConnectionAcceptor::forgetHandOver(int socket)
{
    if (handedOver.erase(socket) == 0)
        return;
    gone.erase(socket);
    settle(socket, Exchange::Idle);
    exchanges.erase(socket);
}

} // namespace tarvesk::network
