#pragma once

#include <QDateTime>

#include <map>
#include <memory>
#include <mutex>

struct MHD_Connection;

namespace tarvesk::network {

class HttpHostWhitelist;
class HttpSession;

// Maps each libmicrohttpd connection to its session. A session ends when its
// connection closes, and at the latest when it has been idle for 40 s.
class HttpSessionFactory
{
public:
    static constexpr int SessionTimeoutSeconds = 40;

    explicit HttpSessionFactory(std::shared_ptr<HttpHostWhitelist> whitelist);

    std::shared_ptr<HttpSession> getOrCreateNewSession(MHD_Connection* connection);
    void checkIfSessionsTimeoutAndClose();
    void checkIfSessionsTimeoutAndClose(const QDateTime& now);
    // Called when libmicrohttpd closes the connection: a later connection that
    // reuses the handle must not inherit this one's peer or cookies.
    void removeSession(MHD_Connection* connection);
    int sessionCount() const;

private:
    void removeTimedOut(qint64 nowMsecsSinceEpoch); // the caller holds mutex

    std::map<MHD_Connection*, std::shared_ptr<HttpSession>> sessions; // guarded by mutex
    int timeout = SessionTimeoutSeconds;
    std::shared_ptr<HttpHostWhitelist> whitelist;
    mutable std::mutex mutex; // std::mutex: visible to ThreadSanitizer
};

} // namespace tarvesk::network
