#include "network/request_deadline_watch.h"

#include "log/logging_categories.h"

#include <QDebug>

#include <sys/socket.h>

namespace tarvesk::network {

namespace {

// The lines, also the keys of their throttle.
const char RequestTookTooLong[] = "Closed a connection whose request took more than %1 ms to arrive%2";
const char ReplyTookTooLong[]
    = "Closed a connection whose client took more than %1 ms to take the reply it was sent%2";

} // namespace

RequestDeadlineWatch::RequestDeadlineWatch(std::chrono::milliseconds bound)
    : _bound(bound)
    , _thread(&RequestDeadlineWatch::run, this)
{ }

RequestDeadlineWatch::~RequestDeadlineWatch()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
    }
    _changed.notify_all();
    _thread.join();
}

void RequestDeadlineWatch::watch(const void* connection, int socket)
{
    bool sooner = false;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        Watched& watched = _watched[connection];
        watched.socket = socket;
        watched.armed = socket >= 0;
        watched.waitingFor = Wait::Request;
        watched.deadline = Clock::now() + _bound;
        sooner = watched.armed && watched.deadline < _wakeAt;
    }
    if (sooner)
        _changed.notify_all();
}

void RequestDeadlineWatch::arm(const void* connection, Wait what)
{
    bool sooner = false;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto it = _watched.find(connection);
        if (it == _watched.end() || it->second.socket < 0)
            return;
        it->second.armed = true;
        it->second.waitingFor = what;
        it->second.deadline = Clock::now() + _bound;
        sooner = it->second.deadline < _wakeAt;
    }
    if (sooner)
        _changed.notify_all();
}

void RequestDeadlineWatch::disarm(const void* connection)
{
    std::lock_guard<std::mutex> lock(_mutex);
    const auto it = _watched.find(connection);
    if (it != _watched.end())
        it->second.armed = false;
}

void RequestDeadlineWatch::forget(const void* connection)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _watched.erase(connection);
}

int RequestDeadlineWatch::expiredCount() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _expired;
}

void RequestDeadlineWatch::logExpiry(Wait what, Clock::time_point now)
{
    // A client holding many idle connections has them all closed at about
    // the same time: one line, not one each.
    const char* line = what == Wait::Reply ? ReplyTookTooLong : RequestTookTooLong;
    int heldBack = 0;
    if (!_expiryLog.admit(line, now, &heldBack))
        return;
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QString::fromLatin1(line).arg(_bound.count()).arg(LogThrottle::heldBackNote(heldBack));
}

void RequestDeadlineWatch::run()
{
    std::unique_lock<std::mutex> lock(_mutex);
    while (!_stopping) {
        const Clock::time_point now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        for (auto& [connection, watched] : _watched) {
            if (!watched.armed)
                continue;
            if (watched.deadline <= now) {
                // Under the lock: forget() of this connection, and so the
                // close of its socket, waits until the shutdown is done.
                ::shutdown(watched.socket, SHUT_RDWR);
                watched.armed = false;
                ++_expired;
                logExpiry(watched.waitingFor, now);
                continue;
            }
            next = std::min(next, watched.deadline);
        }
        // Every deadline is set a whole bound ahead, so one set meanwhile
        // is seldom sooner than this wake: only such a one wakes the thread
        // early, and a new connection costs no look at all the others.
        _wakeAt = next;
        if (next == Clock::time_point::max())
            _changed.wait(lock);
        else
            _changed.wait_until(lock, next);
    }
}

} // namespace tarvesk::network
