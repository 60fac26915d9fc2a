#include "network/http_host_whitelist.h"

#include <QHostAddress>

#include <netinet/in.h>

#include <cstring>

namespace tarvesk::network {

namespace {

bool isLoopbackIPv4(const in_addr& address)
{
    return (ntohl(address.s_addr) >> 24) == 127;
}

} // namespace

bool HttpHostWhitelist::isHostAllowed(const QString& host) const
{
    QHostAddress address;
    if (host.isEmpty() || !address.setAddress(host))
        return false;
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped)
        return (ipv4 >> 24) == 127;
    return address == QHostAddress(QHostAddress::LocalHostIPv6);
}

bool HttpHostWhitelist::isPeerAllowed(const sockaddr* address, socklen_t length)
{
    if (!address || length < socklen_t(sizeof(sa_family_t)))
        return false;
    if (address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) {
        sockaddr_in ipv4;
        std::memcpy(&ipv4, address, sizeof ipv4); // the caller's buffer need not be aligned for it
        return isLoopbackIPv4(ipv4.sin_addr);
    }
    if (address->sa_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6))) {
        sockaddr_in6 ipv6;
        std::memcpy(&ipv6, address, sizeof ipv6);
        if (IN6_IS_ADDR_LOOPBACK(&ipv6.sin6_addr))
            return true;
        if (!IN6_IS_ADDR_V4MAPPED(&ipv6.sin6_addr))
            return false;
        in_addr embedded;
        std::memcpy(&embedded, &ipv6.sin6_addr.s6_addr[12], sizeof embedded);
        return isLoopbackIPv4(embedded);
    }
    return false;
}

} // namespace tarvesk::network
