#include "protocol/packet_mutex.h"

#include <chrono>

namespace tarvesk::proto {

PacketMutex::PacketMutex(int index, bool checkIndex)
    : _index(index)
    , _checkIndex(checkIndex)
{ }

PacketMutex::~PacketMutex() = default;

void PacketMutex::setInterfaceType(RawPacketType type)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _type = type;
    _typeSet = true;
}

bool PacketMutex::matches(const RawPacket* packet) const
{
    if (_checkIndex && packet->getIndex() != (_index & 0xFF))
        return false;
    return !_typeSet || packet->getPacketType() == _type;
}

void PacketMutex::checkPacket(const RawPacket* packet)
{
    if (!packet)
        return;
    std::lock_guard<std::mutex> locker(_mutex);
    if (!matches(packet))
        return;
    _pending.emplace_back(packet->clone());
    // A record came: the quiet window starts again after it.
    _matchedThisPass = true;
    _quietPasses = 0;
    _arrived.notify_all();
}

void PacketMutex::armQuietWindow()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _armed = true;
    _armedAt = Clock::now();
    _quietPasses = 0;
    _matchedThisPass = false;
}

void PacketMutex::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
    const bool matched = _matchedThisPass;
    _matchedThisPass = false;
    if (!_armed || matched || began < _armedAt)
        return;
    ++_quietPasses;
    _lastQuietPassBegan = began;
    _arrived.notify_all();
}

void PacketMutex::endFeed(int status)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _feedEndStatus = status;
    _arrived.notify_all();
}

int PacketMutex::feedEndStatus() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _feedEndStatus;
}

PacketMutex::WaitOutcome PacketMutex::waitForPacketOrQuiet(const QuietRule& rule, int guardMs)
{
    _taken.reset();
    const auto guard = Clock::now() + std::chrono::milliseconds(qMax(0, guardMs));
    std::unique_lock<std::mutex> locker(_mutex);
    const auto quiet = [&] {
        return rule.passes > 0 && _armed && _quietPasses >= rule.passes
            && _lastQuietPassBegan >= _armedAt + std::chrono::milliseconds(qMax(0, rule.windowMs));
    };
    _arrived.wait_until(locker, guard, [&] { return !_pending.empty() || quiet() || _feedEndStatus != 0; });
    if (!_pending.empty()) {
        _taken = std::move(_pending.front());
        _pending.pop_front();
        return WAIT_PACKET;
    }
    if (quiet())
        return WAIT_QUIET;
    return _feedEndStatus != 0 ? WAIT_FEED_ENDED : WAIT_GUARD;
}

bool PacketMutex::waitForReplyIndex(int timeoutMs)
{
    return waitForPacketOrQuiet(QuietRule(), timeoutMs) != WAIT_PACKET;
}

int PacketMutex::pendingCount() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return static_cast<int>(_pending.size());
}

} // namespace tarvesk::proto
