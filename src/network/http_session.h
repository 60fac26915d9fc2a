#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

struct MHD_Connection;
struct sockaddr;

namespace tarvesk::network {

class HttpHostWhitelist;

// The state kept for one libmicrohttpd connection: when it was last used, who
// the peer is, whether the whitelist admits it, and the cookies it sent.
class HttpSession
{
public:
    // Bounds on what one client can make the session keep.
    static constexpr int MaxCookies = 32;
    static constexpr int MaxCookieBytes = 4096;

    HttpSession(int timeoutSeconds, std::shared_ptr<HttpHostWhitelist> whitelist);

    bool timeoutOccurred(const QDateTime& now) const;
    bool timeoutOccurred(qint64 nowMsecsSinceEpoch) const;
    void setSessionTime(const QDateTime& time);
    void setSessionTime(qint64 msecsSinceEpoch);
    QDateTime getSessionTime() const;
    QString getHostName() const { return hostName; }
    QString getService() const { return service; }

    bool doHostLookupAndCheckIfConnectionIsAllowed(MHD_Connection* connection);
    // The peer check on a plain socket address (what the connection reports).
    bool checkPeerAddress(const sockaddr* address);
    void getHostInfo(const sockaddr* address);

    // Cookies are kept per session so that they are only ever echoed back to
    // the client that sent them.
    void addCookie(const QString& name, const QString& value);
    QString cookieHeader() const;

private:
    int timeout;                     // milliseconds
    std::atomic<qint64> sessionTime; // ms since the epoch; read by the ageing walk on any thread
    MHD_Connection* connection = nullptr;
    QString hostName; // numeric peer address, written by the session's connection thread
    QString service;
    bool allowed = false;
    std::shared_ptr<HttpHostWhitelist> whitelist;
    mutable std::mutex cookieMutex; // guards cookies
    QMap<QString, QString> cookies;
};

} // namespace tarvesk::network
