#include "network/log_throttle.h"

namespace tarvesk::network {

LogThrottle::LogThrottle(std::chrono::milliseconds period)
    : _period(period)
{ }

bool LogThrottle::admit(const void* key, Clock::time_point now, int* heldBack)
{
    std::lock_guard<std::mutex> lock(_mutex);
    const auto [it, first] = _seen.try_emplace(key);
    Seen& seen = it->second;
    if (!first && now - seen.written < _period) {
        ++seen.heldBack;
        return false;
    }
    *heldBack = seen.heldBack;
    seen.written = now;
    seen.heldBack = 0;
    return true;
}

QString LogThrottle::heldBackNote(int heldBack)
{
    return heldBack > 0 ? QStringLiteral(" (and %1 times more since it was last logged)").arg(heldBack)
                        : QString();
}

} // namespace tarvesk::network
