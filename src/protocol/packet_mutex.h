#pragma once

#include "protocol/raw_packet.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace tarvesk::proto {

// Hands answers from the USB monitor thread to the one request thread that
// waits for them. The sender creates it, installs it in the data monitor BEFORE
// it sends (so an answer that comes back quickly is not missed), waits, and
// uninstalls it before destroying it.
//
// Every matching packet is queued as an owned copy: the original goes on to the
// device's packet log, whose bound may delete it at any time, and two matching
// answers (a DALI forward frame and its backward frame) are taken by two
// successive waits, oldest first. Nothing is dropped while the object lives.
class PacketMutex : public QObject
{
    Q_OBJECT

public:
    PacketMutex(int index, bool checkIndex);
    ~PacketMutex() override;

    // From now on only packets of that type match.
    void setInterfaceType(RawPacketType type);

    // Blocks until a matching packet is queued or timeoutMs have passed; takes the
    // oldest queued packet at once when there is one. Returns true when no packet
    // came (time-out), false when one was taken (see getPacket / takePacket).
    bool waitForReplyIndex(int timeoutMs);

    // Monitor thread: queues a copy of the packet when its index and type match.
    void checkPacket(const RawPacket* packet);

    // The packet taken by the last wait, or null. Owned by this object and valid
    // until the next wait or its destruction; clone it to keep it.
    RawPacket* getPacket() const { return _taken.get(); }
    // Hands the packet taken by the last wait to the caller.
    std::unique_ptr<RawPacket> takePacket() { return std::move(_taken); }
    // Number of matching packets queued and not yet taken.
    int pendingCount() const;

private:
    bool matches(const RawPacket* packet) const;

    const int _index;
    const bool _checkIndex;
    bool _typeSet = false;                     // guarded by _mutex
    RawPacketType _type = PACKET_TYPE_NOT_SET; // guarded by _mutex
    // Standard primitives rather than QMutex: their waits are visible to
    // ThreadSanitizer, which checks this hand-over.
    mutable std::mutex _mutex;
    std::condition_variable _arrived;
    std::deque<std::unique_ptr<RawPacket>> _pending; // guarded by _mutex
    std::unique_ptr<RawPacket> _taken;               // sender thread only
};

} // namespace tarvesk::proto
