#include "network/connection_acceptor.h"

#include "log/logging_categories.h"

#include <QDebug>

#include <microhttpd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk::network {

namespace {

// Accepted in one go before the thread looks again whether it is to stop; as
// many closures of peers are read in one go.
constexpr int AcceptRound = 64;

// Bytes of a request looked at, at most, for the end of its head.
constexpr int HeadLook = 4096;

// Whether what a client sent before it closed its side holds the end of a
// request's head (some clients end lines with a bare LF); when it sent more
// than is looked at, that cannot be told here, and it may.
bool mayHoldARequest(const char* bytes, ssize_t size)
{
    const std::string_view sent(bytes, size_t(size));
    return size >= HeadLook || sent.find("\r\n\r\n") != sent.npos || sent.find("\n\n") != sent.npos;
}

// Whether the client has closed the connection already and can be owed
// nothing: reset it, or ended it without sending a whole request head
// (nothing, or half a request line). libmicrohttpd would take such a
// connection up, read to its end and close it without a reply.
bool peerHasClosed(int socket)
{
    pollfd ready {socket, POLLIN | POLLRDHUP, 0};
    if (::poll(&ready, 1, 0) <= 0)
        return false;
    if ((ready.revents & (POLLERR | POLLHUP)) != 0)
        return true;
    if ((ready.revents & POLLRDHUP) == 0)
        return false;
    char sent[HeadLook];
    const ssize_t size = ::recv(socket, sent, sizeof sent, MSG_PEEK | MSG_DONTWAIT);
    return size >= 0 && !mayHoldARequest(sent, size);
}

ConnectionLedger::Identity identityOf(int socket)
{
    struct stat status {};
    if (::fstat(socket, &status) != 0)
        return {};
    return {status.st_dev, status.st_ino};
}

// Whether a socket handed over and not taken up is still open: libmicrohttpd
// says nothing of one it dropped, and its number may name another file since.
bool stillHeld(int socket, const ConnectionLedger::Identity& identity)
{
    struct stat status {};
    return ::fstat(socket, &status) == 0 && ConnectionLedger::Identity {status.st_dev, status.st_ino} == identity;
}

// The hand-over a closure is of, in the event's data: the socket's number
// alone may name a later connection by the time the event is read.
std::uint64_t closureData(int socket, ConnectionLedger::Serial serial)
{
    return (std::uint64_t(serial) << 32) | std::uint32_t(socket);
}

} // namespace

ConnectionAcceptor::ConnectionAcceptor(int bound, unsigned daemonLimit, PeerAdmission admitPeer)
    // Closed connections are cleaned up a moment later; until then they hold
    // descriptors beyond the bound: a few dozen at most, and never more than
    // the bound itself, where a low limit of open files leaves few beside it.
    : ledger(bound, std::min(bound, MostGone), &stillHeld)
    , daemonLimit(daemonLimit)
    , admitPeer(std::move(admitPeer))
{ }

ConnectionAcceptor::~ConnectionAcceptor()
{
    stopAccepting();
    for (const int descriptor : {wake, closures}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

bool ConnectionAcceptor::start(MHD_Daemon* mhdDaemon, int listenDescriptor)
{
    daemon = mhdDaemon;
    listening = listenDescriptor;
    closures = ::epoll_create1(EPOLL_CLOEXEC);
    wake = ::eventfd(0, EFD_CLOEXEC);
    if (wake < 0 || closures < 0)
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
}

void ConnectionAcceptor::takeBacklog(std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const Backlog backlog = acceptWaiting();
        if (backlog == Backlog::Empty || backlog == Backlog::OutOfDescriptors
            || std::chrono::steady_clock::now() >= deadline)
            return;
        if (backlog == Backlog::DaemonBehind)
            ::poll(nullptr, 0, 5);
    }
}

void ConnectionAcceptor::waitUntilNothingOwed(std::chrono::milliseconds timeout)
{
    ledger.waitUntilNothingOwed(timeout);
}

int ConnectionAcceptor::openConnections() const
{
    return ledger.open();
}

void ConnectionAcceptor::connectionOpened(int socket)
{
    ledger.opened(socket);
}

void ConnectionAcceptor::connectionClosed(int socket)
{
    int count = 0;
    if (ledger.closed(socket, &count) == ConnectionLedger::Bound::Left) {
        qCInfo(service::loggerGlog())
            << GLOG_PREFIX << "HTTP server holds" << count << "connections: new ones are accepted again";
    }
    burstMemory.connectionsLeft(count);
}

void ConnectionAcceptor::requestStarted(int socket)
{
    ledger.requestStarted(socket);
}

void ConnectionAcceptor::requestFinished(int socket)
{
    ledger.requestFinished(socket);
}

void ConnectionAcceptor::run()
{
    // Named for a look with top or a debugger, as libmicrohttpd names its own.
    ::pthread_setname_np(::pthread_self(), "qm-accept");
    pollfd waits[2] = {{listening, POLLIN, 0}, {wake, POLLIN, 0}};
    Backlog backlog = Backlog::Empty;
    for (;;) {
        // Out of descriptors, the backlog is left alone for a while: the
        // waiting connections are taken once some close. While the daemon
        // is behind, they are taken once it has caught up.
        int timeout = -1;
        if (backlog == Backlog::OutOfDescriptors)
            timeout = 100;
        else if (backlog == Backlog::DaemonBehind)
            timeout = 5;
        waits[0].fd = backlog == Backlog::Empty || backlog == Backlog::More ? listening : -1;
        const int ready = ::poll(waits, 2, timeout);
        if (waits[1].revents != 0)
            return;
        const bool arrived = ready > 0 && (waits[0].revents & POLLIN) != 0;
        if (arrived || backlog == Backlog::OutOfDescriptors || backlog == Backlog::DaemonBehind)
            backlog = acceptWaiting();
        else if (backlog == Backlog::More)
            backlog = Backlog::Empty;
    }
}

void ConnectionAcceptor::takeClosures()
{
    epoll_event events[AcceptRound];
    const int count = ::epoll_wait(closures, events, AcceptRound, 0);
    for (int i = 0; i < count; ++i) {
        const int socket = int(std::uint32_t(events[i].data.u64));
        const auto serial = ConnectionLedger::Serial(events[i].data.u64 >> 32);
        // A reset, or closed both ways (the daemon closed its side after the
        // peer's): no reply can reach the peer any more.
        const bool whole = (events[i].events & (EPOLLHUP | EPOLLERR)) != 0;
        ledger.peerClosed(
            socket, serial, whole ? ConnectionLedger::Closure::Whole : ConnectionLedger::Closure::SideOnly);
    }
}

bool ConnectionAcceptor::daemonHasRoom()
{
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    if (!info)
        return true;
    // A connection handed over may be counted by the daemon already: counted
    // twice here, never too few.
    return info->num_connections + unsigned(ledger.waiting()) < daemonLimit;
}

ConnectionAcceptor::Backlog ConnectionAcceptor::acceptWaiting()
{
    for (int accepted = 0; accepted < AcceptRound; ++accepted) {
        // The closures of the peers are read when their room is needed, not
        // as each comes: no wake of this thread per connection.
        if (ledger.counted() >= ledger.bound())
            takeClosures();
        // Behind in cleaning up closed connections, the daemon frees room
        // soon: the connections wait in the backlog until it has, rather than
        // be turned away for connections that are closed already.
        if (!daemonHasRoom() || ledger.behind())
            return Backlog::DaemonBehind;
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
    return Backlog::More;
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
    // A client that connects and resets (or closes) as fast as it can would
    // fill the bound, and the daemon's time, with connections that are
    // closed already: such a connection never gets that far.
    if (peerHasClosed(client)) {
        ::close(client);
        return;
    }
    ConnectionLedger::Bound change = ConnectionLedger::Bound::Unchanged;
    const ConnectionLedger::Serial serial = ledger.admit(client, identityOf(client), &change);
    if (serial == 0) {
        ::close(client);
        return;
    }
    if (change == ConnectionLedger::Bound::Reached) {
        qCWarning(service::loggerGlog()) << GLOG_PREFIX << "HTTP server holds" << ledger.bound()
                                         << "connections, the most it takes at once: more are closed as "
                                            "they are accepted until some end";
    }
    // Watched before the daemon has it: from then on the daemon may close the
    // socket at any moment, and its number name another file. Edge-triggered,
    // each change of the peer's state is told once; the set forgets the socket
    // when it is closed. Unwatched (no memory for it), it counts until the
    // daemon has cleaned it up.
    epoll_event watch {};
    watch.events = EPOLLRDHUP | EPOLLET;
    watch.data.u64 = closureData(client, serial);
    ::epoll_ctl(closures, EPOLL_CTL_ADD, client, &watch);
    // Refused, the socket is closed already.
    if (MHD_add_connection(daemon, client, address, length) != MHD_YES)
        ledger.forget(client, serial);
}

} // namespace tarvesk::network
