#pragma once

#include "network/log_throttle.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace tarvesk::network {

// Gives every connection a bounded total time to deliver its request (headers
// and body) and to take the reply: libmicrohttpd's own time-out only measures
// idleness, so a peer that trickles one byte at a time would keep its
// connection, and with enough of them every slot. When a connection's time is
// up its socket is shut down, which makes libmicrohttpd close it.
//
// The server watches a connection from when it opens, arms it again when a
// reply is ready (for the peer to take it) and when a request is done (for
// the next one on the same connection), and disarms it while the request
// handler runs: a long request is the handler's business, not the peer's.
class RequestDeadlineWatch
{
public:
    using Clock = std::chrono::steady_clock;
    // What the peer is given the time for, which the log names when it is up.
    enum class Wait { Request, Reply };

    explicit RequestDeadlineWatch(std::chrono::milliseconds bound);
    ~RequestDeadlineWatch();
    RequestDeadlineWatch(const RequestDeadlineWatch&) = delete;
    RequestDeadlineWatch& operator=(const RequestDeadlineWatch&) = delete;

    std::chrono::milliseconds bound() const { return _bound; }

    // Starts watching the connection (any unique key) and its socket, armed
    // for its first request.
    void watch(const void* connection, int socket);
    // A watched connection gets the bound from now to deliver a request or
    // to take a reply; others are left alone.
    void arm(const void* connection, Wait what);
    // The connection's time stops until it is armed again.
    void disarm(const void* connection);
    // The connection is closing: its socket must not be touched any more.
    // Called before the socket is closed, so no reused descriptor is shut.
    void forget(const void* connection);

    // How many connections were shut for running out of time.
    int expiredCount() const;

private:
    struct Watched
    {
        int socket = -1;
        bool armed = false;
        Wait waitingFor = Wait::Request;
        Clock::time_point deadline;
    };

    void run();
    void logExpiry(Wait what, Clock::time_point now);

    const std::chrono::milliseconds _bound;
    mutable std::mutex _mutex; // guards _watched, _stopping, _expired, _wakeAt
    std::condition_variable _changed;
    std::unordered_map<const void*, Watched> _watched;
    bool _stopping = false;
    int _expired = 0;
    // When the thread wakes by itself next to look at the deadlines (max:
    // only when woken; min: it has not looked yet).
    Clock::time_point _wakeAt = Clock::time_point::min();
    LogThrottle _expiryLog {std::chrono::minutes(1)};
    std::thread _thread;
};

} // namespace tarvesk::network
