#include "network/listen_socket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvesk::network {

ListenSocket::ListenSocket(int port)
    : boundPort(port)
{
    if (port < 1 || port > 65535) {
        error = EINVAL;
        return;
    }
    // Non-blocking: a peer that leaves between poll() and accept() must not
    // stop the accepting thread.
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        why = std::string("Failed to create socket: ") + std::strerror(error);
        return;
    }
    // A port whose last connections linger in TIME_WAIT can be had again; one
    // that another process listens on cannot.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(uint16_t(port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        why = "Failed to bind to port " + std::to_string(port) + ": " + std::strerror(error);
    } else if (::listen(fd, SOMAXCONN) != 0) {
        error = errno;
        why = std::string("Failed to listen for connections: ") + std::strerror(error);
    }
    if (error != 0) {
        ::close(fd);
        fd = -1;
    }
}

ListenSocket::~ListenSocket()
{
    close();
}

void ListenSocket::close()
{
    if (fd < 0)
        return;
    ::close(fd);
    fd = -1;
}

} // namespace tarvesk::network
