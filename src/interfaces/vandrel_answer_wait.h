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
// making one.
//
// "The box stopped reporting" (-6) is decided on the box's side too: past the
// guard, a pass begun after the window drained the box without this exchange's
// record. A monitor that made no progress at all is given up on only at the
// backstop, which a busy host does not reach. A failed poll ends the wait at
// once with its status: it may have taken this exchange's record with it.
class VandrelAnswerWait
{
public:
    // Host time beyond the answer window after which a box that keeps draining
    // without this exchange's record counts as having stopped reporting.
    static constexpr int GuardMs = 3000;
    // Host time after which a monitor that completed no pass is given up on.
    static constexpr int BackstopMs = 30000;

    // FAILED: the monitor stopped for good (the device is gone), one of its
    // polls failed, or the box stopped reporting (-6, logged); status() says which.
    enum Outcome { RECORD, NO_ANSWER, FAILED };

    // windowMs: the answer window of the bus; pollIntervalMs: the monitor's
    // tick; what: the exchange as the log names it ("DALI query").
    VandrelAnswerWait(proto::PacketMutex& mutex, bool boxReportsTimeouts, int windowMs, int pollIntervalMs,
        const char* what, int guardMs = GuardMs, int backstopMs = BackstopMs);

    // The next record of the exchange (see record()), or the verdict.
    Outcome next();
    // The record taken by the last next() that gave RECORD; owned by the mutex.
    const proto::RawPacket* record() const { return _mutex.getPacket(); }
    // The bus status after FAILED.
    int status() const { return _status; }

private:
    proto::PacketMutex& _mutex;
    proto::PacketMutex::WaitRule _rule;
    const char* _what;
    int _guardMs;
    int _backstopMs;
    int _status = 0;
};

} // namespace tarvesk::itf
