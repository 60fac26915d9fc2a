#pragma once

#include <QString>

#include <sys/socket.h>

namespace tarvesk::network {

// Decides which peers may talk to the service. The service can rewrite driver
// firmware, so only this machine (loopback: 127.0.0.0/8 and ::1) is admitted.
class HttpHostWhitelist
{
public:
    HttpHostWhitelist() = default;

    // host: the peer's numeric address text (IPv4, IPv6 or IPv4-mapped IPv6).
    // Anything that is not a loopback address, an empty text included, is refused.
    bool isHostAllowed(const QString& host) const;

    // The same decision on the socket address of a connection being accepted:
    // it runs before the connection gets a thread, so it neither allocates nor
    // asks the resolver. A null, short or non-IP address is refused.
    static bool isPeerAllowed(const sockaddr* address, socklen_t length);
};

} // namespace tarvesk::network
