#pragma once

#include <QString>

#include <chrono>
#include <mutex>
#include <unordered_map>

namespace tarvesk::network {

// Lets a message through the first time and then at most once per period,
// counting the times it was held back meanwhile. libmicrohttpd reports some
// conditions once per connection (every connection closed over the limit, for
// one): a client that opens connection after connection must not write a log
// line, and a line on the terminal, for each.
class LogThrottle
{
public:
    using Clock = std::chrono::steady_clock;

    explicit LogThrottle(std::chrono::milliseconds period);

    // Whether the message with this key (any pointer that stays the same for
    // the same message, such as its format text) may be written at `now`. When
    // it may, heldBack is set to the times it was held back since it was last
    // written.
    bool admit(const void* key, Clock::time_point now, int* heldBack);
    // What a line that was held back that often adds to its text ("" for none).
    static QString heldBackNote(int heldBack);

private:
    struct Seen
    {
        Clock::time_point written;
        int heldBack = 0;
    };

    const std::chrono::milliseconds _period;
    std::mutex _mutex; // guards _seen: connection threads and the listening thread log
    std::unordered_map<const void*, Seen> _seen;
};

} // namespace tarvesk::network
