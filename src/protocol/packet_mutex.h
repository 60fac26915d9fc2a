#pragma once

#include "protocol/raw_packet.h"

#include <QObject>

#include <chrono>
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

    // Whether the bus answered is the box's to say, never the host clock's: a
    // sender that waits for the end of an answer window counts the monitor's
    // polling passes instead of its own time, so a monitor thread that ran late
    // delays the verdict but cannot turn an answer into "nobody answered".
    using Clock = std::chrono::steady_clock;
    // Sender: the request has gone out; passes that began before this moment
    // never count as quiet.
    void armQuietWindow();
    // Monitor thread: a polling pass that began at `began` has ended with the
    // box holding no more data; every record it brought was checked before.
    void passCompleted(Clock::time_point began);

    // Monitor (or whoever feeds this mutex): nothing more will come, for the
    // reason `status` (a bus status, e.g. the device is gone). Wakes the sender.
    void endFeed(int status);
    // The status given to endFeed, or 0 while records may still come.
    int feedEndStatus() const;

    enum WaitOutcome { WAIT_PACKET, WAIT_QUIET, WAIT_GUARD, WAIT_FEED_ENDED };
    struct QuietRule
    {
        int passes = 0;   // completed passes without a record; 0: the box reports the end itself
        int windowMs = 0; // and the last of them began this long after the request went out
    };
    // Takes the oldest queued packet (WAIT_PACKET); or, under a rule with
    // passes, ends when that many passes began after the request went out and
    // brought no matching record, the last of them at least windowMs after it
    // (WAIT_QUIET); or ends when the feed ended (WAIT_FEED_ENDED, see
    // feedEndStatus); or gives up after guardMs, a liveness bound for a box or
    // monitor that stopped reporting (WAIT_GUARD).
    WaitOutcome waitForPacketOrQuiet(const QuietRule& rule, int guardMs);

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
    bool _armed = false;                             // guarded by _mutex
    Clock::time_point _armedAt;                      // guarded by _mutex
    bool _matchedThisPass = false;                   // guarded by _mutex
    int _quietPasses = 0;                            // guarded by _mutex
    Clock::time_point _lastQuietPassBegan;           // guarded by _mutex
    int _feedEndStatus = 0;                          // guarded by _mutex
};

} // namespace tarvesk::proto
