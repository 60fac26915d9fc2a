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

    // FAILED: the monitor stopped for good (the device is gone), or the guard
    // ran out (the box stopped reporting: -6, logged); status() says which.
    enum Outcome { RECORD, NO_ANSWER, FAILED };

    // windowMs: the answer window of the bus; pollIntervalMs: the monitor's
    // tick; what: the exchange as the log names it ("DALI query").
    VandrelAnswerWait(proto::PacketMutex& mutex, bool boxReportsTimeouts, int windowMs, int pollIntervalMs,
        const char* what, int guardMs = GuardMs);

    // The next record of the exchange (see record()), or the verdict.
    Outcome next();
    // The record taken by the last next() that gave RECORD; owned by the mutex.
    const proto::RawPacket* record() const { return _mutex.getPacket(); }
    // The bus status after FAILED.
    int status() const { return _status; }

private:
    proto::PacketMutex& _mutex;
    proto::PacketMutex::QuietRule _rule;
    proto::PacketMutex::Clock::time_point _guard;
    const char* _what;
    int _waitedMs;
    int _status = 0;
};

} // namespace tarvesk::itf
