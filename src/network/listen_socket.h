#pragma once

#include <string>

namespace tarvesk::network {

// A TCP socket listening on a port of every local IPv4 address. It outlives
// the HTTP servers that serve it: while none accepts, connections wait in the
// kernel's backlog for the next one, and are refused only once it is closed.
class ListenSocket
{
public:
    // Binds and listens; isOpen() is false when the port cannot be had (in
    // use, out of range), with errorNumber() and errorText() saying why.
    explicit ListenSocket(int port);
    ~ListenSocket();
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }
    int port() const { return boundPort; }
    int errorNumber() const { return error; }
    // For instance "Failed to bind to port 8012: Address already in use";
    // empty for a port out of range, which is not tried.
    const std::string& errorText() const { return why; }
    // Stops listening: connections not yet accepted are refused (or reset,
    // those waiting in the backlog). Nothing may wait on the descriptor then.
    void close();

private:
    int boundPort;
    int fd = -1;
    int error = 0;
    std::string why;
};

} // namespace tarvesk::network
