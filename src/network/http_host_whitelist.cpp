#include "network/http_host_whitelist.h"

#include <QHostAddress>

namespace tarvesk::network {

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

} // namespace tarvesk::network
