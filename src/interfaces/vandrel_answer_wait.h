#pragma once

#include "protocol/packet_mutex.h"

namespace tarvesk::itf {

// A sender's wait for what a Vandrel box recorded about its exchange: the
// answer record, or the box's verdict that nobody answered. Made once the
// request has gone out and the mutex was armed (PacketMutex::armQuietWindow).
//
// Boxes that report a time-out event time the answer window on the wire, and
// the wait ends only on a record. Older monitored boxes say nothing when nobody
// answers: there the window closes after enough completed monitor passes that
// began after the request went out, and after the window, brought no record,
// so a monitor thread that was not scheduled delays the verdict instead of
// making one. A host timer stays only as the liveness guard: when it runs out
// the box (or the monitor) stopped reporting, which is an interface failure,
// never "no answer".
class VandrelAnswerWait
{
public:
    // The liveness guard beyond the answer window itself.
    static constexpr int GuardMs = 3000;

    // MONITOR_ENDED: the monitor stopped (the device is gone); status() says why.
    enum Outcome { RECORD, NO_ANSWER, STOPPED_REPORTING, MONITOR_ENDED };

    // windowMs: the answer window of the bus; pollIntervalMs: the monitor's tick.
    VandrelAnswerWait(proto::PacketMutex& mutex, bool boxReportsTimeouts, int windowMs, int pollIntervalMs,
        int guardMs = GuardMs);

    // The next record of the exchange (see record()), or the verdict.
    Outcome next();
    // The record taken by the last next() that gave RECORD; owned by the mutex.
    const proto::RawPacket* record() const { return _mutex.getPacket(); }
    // Why the monitor ended, after MONITOR_ENDED.
    int status() const { return _mutex.feedEndStatus(); }

private:
    proto::PacketMutex& _mutex;
    proto::PacketMutex::QuietRule _rule;
    proto::PacketMutex::Clock::time_point _guard;
};

} // namespace tarvesk::itf
