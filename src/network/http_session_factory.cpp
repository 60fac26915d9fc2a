#include "network/http_session_factory.h"

#include "network/http_session.h"

namespace tarvesk::network {

HttpSessionFactory::HttpSessionFactory(std::shared_ptr<HttpHostWhitelist> whitelist)
    : whitelist(std::move(whitelist))
{ }

std::shared_ptr<HttpSession> HttpSessionFactory::getOrCreateNewSession(MHD_Connection* connection)
{
    // One pass under the lock: idle sessions out, then this connection's.
    std::lock_guard<std::mutex> lock(mutex);
    removeTimedOut(QDateTime::currentMSecsSinceEpoch());
    auto found = sessions.find(connection);
    if (found != sessions.end())
        return found->second;
    auto session = std::make_shared<HttpSession>(timeout, whitelist);
    sessions.emplace(connection, session);
    return session;
}

void HttpSessionFactory::checkIfSessionsTimeoutAndClose()
{
    checkIfSessionsTimeoutAndClose(QDateTime::currentDateTimeUtc());
}

void HttpSessionFactory::checkIfSessionsTimeoutAndClose(const QDateTime& now)
{
    std::lock_guard<std::mutex> lock(mutex);
    removeTimedOut(now.toMSecsSinceEpoch());
}

void HttpSessionFactory::removeTimedOut(qint64 nowMsecsSinceEpoch)
{
    for (auto it = sessions.begin(); it != sessions.end();) {
        if (it->second->timeoutOccurred(nowMsecsSinceEpoch))
            it = sessions.erase(it);
        else
            ++it;
    }
}

void HttpSessionFactory::removeSession(MHD_Connection* connection)
{
    std::lock_guard<std::mutex> lock(mutex);
    sessions.erase(connection);
}

int HttpSessionFactory::sessionCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(sessions.size());
}

} // namespace tarvesk::network
