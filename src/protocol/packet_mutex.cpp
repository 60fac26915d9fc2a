#include "protocol/packet_mutex.h"

#include <algorithm>
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
    // A record came: the answer window starts again after it (the box made
    // the record before it was reported; what follows it, an answer or a
    // time-out event after an echo, comes within the window after that).
    _lastMatchAt = Clock::now();
    _matchedThisPass = true;
    _quietPasses = 0;
    _arrived.notify_all();
}

void PacketMutex::armQuietWindow()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _armed = true;
    _armedAt = _lastMatchAt = Clock::now();
    _quietPasses = 0;
    _matchedThisPass = false;
}

void PacketMutex::expectIndex(int index)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _index = index;
    _checkIndex = true;
    _pending.erase(std::remove_if(_pending.begin(), _pending.end(),
                       [this](const std::unique_ptr<RawPacket>& packet) { return !matches(packet.get()); }),
        _pending.end());
}

void PacketMutex::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
    const bool matched = _matchedThisPass;
    _matchedThisPass = false;
    if (!_armed || began < _armedAt)
        return;
    _lastDrainedPassBegan = qMax(_lastDrainedPassBegan, began);
    if (!matched) {
        ++_quietPasses;
        _lastQuietPassBegan = began;
    }
    _arrived.notify_all();
}

void PacketMutex::pollFailed(int status)
{
    endFeed(status);
}

void PacketMutex::endFeed(int status)
{
    if (status == 0)
        return;
    std::lock_guard<std::mutex> locker(_mutex);
    if (_feedEndStatus == 0)
        _feedEndStatus = status;
    _arrived.notify_all();
}

int PacketMutex::feedEndStatus() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _feedEndStatus;
}

PacketMutex::WaitOutcome PacketMutex::waitForAnswer(const WaitRule& rule)
{
    _taken.reset();
    std::unique_lock<std::mutex> locker(_mutex);
    const auto window = std::max(rule.window, std::chrono::milliseconds(0));
    for (;;) {
        if (!_pending.empty()) {
            _taken = std::move(_pending.front());
            _pending.pop_front();
            return WAIT_PACKET;
        }
        // The window counts from the request, or from the exchange's last
        // record when that came later (a frame queued behind others is on the
        // bus late, and its echo shows when).
        const Clock::time_point windowFrom = std::max(_armedAt, _lastMatchAt);
        if (rule.quietPasses > 0 && _armed && _quietPasses >= rule.quietPasses
            && _lastQuietPassBegan >= windowFrom + window)
            return WAIT_QUIET;
        if (_feedEndStatus != 0)
            return WAIT_FEED_ENDED;
        const Clock::time_point now = Clock::now();
        if (now >= rule.guard && _armed && _lastDrainedPassBegan >= windowFrom + window)
            return WAIT_GUARD;
        if (now >= rule.backstop)
            return WAIT_BACKSTOP;
        _arrived.wait_until(locker, now < rule.guard ? std::min(rule.guard, rule.backstop) : rule.backstop);
    }
}

bool PacketMutex::waitForReplyIndex(int timeoutMs)
{
    _taken.reset();
    std::unique_lock<std::mutex> locker(_mutex);
    _arrived.wait_for(
        locker, std::chrono::milliseconds(qMax(0, timeoutMs)), [this] { return !_pending.empty(); });
    if (_pending.empty())
        return true;
    _taken = std::move(_pending.front());
    _pending.pop_front();
    return false;
}

int PacketMutex::pendingCount() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return static_cast<int>(_pending.size());
}

} // namespace tarvesk::proto
