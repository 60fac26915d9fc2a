#include "held_connections.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qmtest {

HeldConnections::~HeldConnections()
{
    closeAll();
}

bool HeldConnections::open(int port, int count)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return false;
        }
        fds.push_back(fd);
    }
    return true;
}

int HeldConnections::closedByPeer() const
{
    std::vector<pollfd> polled;
    polled.reserve(fds.size());
    for (const int fd : fds)
        polled.push_back({fd, POLLIN | POLLRDHUP, 0});
    if (::poll(polled.data(), polled.size(), 0) < 0)
        return -1;
    int closed = 0;
    for (const pollfd& entry : polled) {
        // The server sends nothing on an idle connection: anything to read
        // is the end of the stream.
        if (entry.revents != 0)
            ++closed;
    }
    return closed;
}

void HeldConnections::closeAll()
{
    for (const int fd : fds)
        ::close(fd);
    fds.clear();
}

RaisedDescriptorLimit::RaisedDescriptorLimit()
{
    ::getrlimit(RLIMIT_NOFILE, &old);
    rlimit raised = old;
    raised.rlim_cur = old.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &raised);
}

RaisedDescriptorLimit::~RaisedDescriptorLimit()
{
    ::setrlimit(RLIMIT_NOFILE, &old);
}

bool RaisedDescriptorLimit::allows(rlim_t descriptors, std::string* why) const
{
    rlimit now {};
    ::getrlimit(RLIMIT_NOFILE, &now);
    if (now.rlim_cur >= descriptors)
        return true;
    if (why) {
        *why = "the descriptor limit of this process is " + std::to_string(now.rlim_cur) + " (hard limit "
            + std::to_string(now.rlim_max) + "), and the test needs " + std::to_string(descriptors);
    }
    return false;
}

} // namespace qmtest
