#include "network/http_session.h"

#include "network/http_host_whitelist.h"

#include <microhttpd.h>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tarvesk::network {

HttpSession::HttpSession(int timeoutSeconds, std::shared_ptr<HttpHostWhitelist> whitelist)
    : timeout(timeoutSeconds * 1000)
    , sessionTime(QDateTime::currentMSecsSinceEpoch())
    , whitelist(std::move(whitelist))
{ }

bool HttpSession::timeoutOccurred(const QDateTime& now) const
{
    return timeoutOccurred(now.toMSecsSinceEpoch());
}

void HttpSession::setSessionTime(const QDateTime& time)
{
    sessionTime.store(time.toMSecsSinceEpoch());
}

void HttpSession::setSessionTime(qint64 msecsSinceEpoch)
{
    sessionTime.store(msecsSinceEpoch);
}

bool HttpSession::timeoutOccurred(qint64 nowMsecsSinceEpoch) const
{
    return nowMsecsSinceEpoch - sessionTime.load() > timeout;
}

QDateTime HttpSession::getSessionTime() const
{
    return QDateTime::fromMSecsSinceEpoch(sessionTime.load(), Qt::UTC);
}

bool HttpSession::doHostLookupAndCheckIfConnectionIsAllowed(MHD_Connection* newConnection)
{
    // The peer of a connection never changes: its address is read and
    // judged once, with the first request, and the answer kept.
    if (!connection) {
        const MHD_ConnectionInfo* info
            = MHD_get_connection_info(newConnection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (info && info->client_addr)
            getHostInfo(info->client_addr);
        allowed = whitelist && whitelist->isHostAllowed(hostName);
    }
    connection = newConnection;
    return allowed;
}

bool HttpSession::checkPeerAddress(const sockaddr* address)
{
    getHostInfo(address);
    allowed = whitelist && whitelist->isHostAllowed(hostName);
    return allowed;
}

void HttpSession::getHostInfo(const sockaddr* address)
{
    hostName.clear();
    service.clear();
    if (!address)
        return;
    socklen_t length = 0;
    if (address->sa_family == AF_INET)
        length = sizeof(sockaddr_in);
    else if (address->sa_family == AF_INET6)
        length = sizeof(sockaddr_in6);
    else
        return;
    // Numeric only: the whitelist decides by address, and a reverse name
    // look-up would block a connection thread on the resolver without a deadline.
    char host[NI_MAXHOST] = {};
    char serv[NI_MAXSERV] = {};
    if (getnameinfo(address, length, host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV)
        != 0)
        return;
    hostName = QString::fromLatin1(host);
    service = QString::fromLatin1(serv);
}

void HttpSession::addCookie(const QString& name, const QString& value)
{
    if (name.isEmpty() || name.size() + value.size() > MaxCookieBytes)
        return;
    std::lock_guard<std::mutex> lock(cookieMutex);
    if (!cookies.contains(name) && cookies.size() >= MaxCookies)
        return;
    cookies.insert(name, value);
}

QString HttpSession::cookieHeader() const
{
    std::lock_guard<std::mutex> lock(cookieMutex);
    QString text;
    for (auto it = cookies.constBegin(); it != cookies.constEnd(); ++it) {
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += it.key() + QLatin1Char('=') + it.value();
    }
    return text;
}

} // namespace tarvesk::network
