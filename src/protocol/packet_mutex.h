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
// waits for them. The sender creates it and, BEFORE its request goes out (so an
// answer that comes back quickly is not missed), hands it to what feeds it on
// the monitor thread: a DALI sender registers it with its frame in the DALI
// interface's ledger of frames sent, which passes it that frame's records and
// the monitor's passes; a DMX sender hands it to the box's record index, which
// passes it the DMX records, and installs it in the data monitor, which tells
// it how the polling goes. The sender waits, and takes it back from them all
// before destroying it.
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
    // never count as quiet, nor as a sign that the box has nothing to report.
    void armQuietWindow();
    // Sender, once the index of the awaited record is known (a DMX frame's
    // answer carries the index the box gave the frame, plus one): from now on
    // only records with that index match; queued ones without it are dropped.
    void expectIndex(int index);
    // Monitor thread: a polling pass that began at `began` has ended with the
    // box holding no more data; every record it brought was checked before.
    void passCompleted(Clock::time_point began);
    // Monitor thread: a poll failed with the bus status `status`. The poll may
    // have taken records with it, so the sender stops waiting for them.
    void pollFailed(int status);

    // Monitor (or whoever feeds this mutex): nothing more will come, for the
    // reason `status` (a bus status, e.g. the device is gone). Wakes the sender.
    void endFeed(int status);
    // The status given to endFeed or pollFailed, or 0 while records may still come.
    int feedEndStatus() const;

    enum WaitOutcome {
        WAIT_PACKET,     // a matching record (getPacket)
        WAIT_QUIET,      // the quiet rule held: nobody answered
        WAIT_FEED_ENDED, // the monitor stopped, or one of its polls failed (feedEndStatus)
        WAIT_GUARD,      // past the guard, the box reported nothing in passes begun after the window
        WAIT_BACKSTOP    // the monitor made no progress at all up to the backstop
    };
    struct WaitRule
    {
        // Boxes that say nothing when nobody answers: that many completed
        // passes without a matching record, the last of them begun at least
        // `window` after the request went out and after the last matching
        // record came. 0: the box reports the end itself.
        int quietPasses = 0;
        std::chrono::milliseconds window {0};
        // From here on the box may be judged to have stopped reporting, but only
        // once a pass begun after the window drained it without this exchange's
        // record (the window counted as above): a host too busy to poll
        // delays that verdict, never makes it.
        Clock::time_point guard;
        // A monitor that completed no such pass by here is given up on.
        Clock::time_point backstop;
    };
    // Takes the oldest queued packet, or ends with the verdict (see WaitOutcome).
    WaitOutcome waitForAnswer(const WaitRule& rule);

    // The packet taken by the last wait, or null. Owned by this object and valid
    // until the next wait or its destruction; clone it to keep it.
    RawPacket* getPacket() const { return _taken.get(); }
    // Hands the packet taken by the last wait to the caller.
    std::unique_ptr<RawPacket> takePacket() { return std::move(_taken); }
    // Number of matching packets queued and not yet taken.
    int pendingCount() const;

private:
    bool matches(const RawPacket* packet) const;

    int _index;                                // guarded by _mutex
    bool _checkIndex;                          // guarded by _mutex
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
    Clock::time_point _lastMatchAt;                  // guarded by _mutex; when the last matching record came
    bool _matchedThisPass = false;                   // guarded by _mutex
    int _quietPasses = 0;                            // guarded by _mutex
    Clock::time_point _lastQuietPassBegan;           // guarded by _mutex
    Clock::time_point _lastDrainedPassBegan;         // guarded by _mutex
    int _feedEndStatus = 0;                          // guarded by _mutex
};

} // namespace tarvesk::proto
