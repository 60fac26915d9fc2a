#pragma once

#include "interfaces/ivandrel_record_sink.h"

#include <QByteArray>

#include <deque>
#include <map>
#include <mutex>

namespace tarvesk::itf {

// The DALI side's account of what it sent and what the box recorded. The box
// reports its DALI bus in bus order: the echo of each forward frame it sent
// (one per copy of a frame sent twice), then that frame's backward frame, frame
// error or time-out event, then the next frame's echo. So every record belongs
// to exactly one frame: an echo to the oldest frame still owed one, anything
// else to the frame whose echo came last. A frame sent without awaiting still
// owes its echo and a query's possible answer, and those are taken on its
// behalf wherever they arrive, as are the records of a frame whose sender gave
// up. Forward frames that nobody here sent (another master on the bus) and
// the answers to them reach no sender either.
//
// The sender registers a frame before its request goes out and says when the
// box refused it; records of an awaited frame go to the sender's mutex until
// the sender releases it. Thread-safe: senders on request threads, records on
// the monitor thread.
class VandrelDaliLedger : public IVandrelRecordSink
{
public:
    // Frames whose echo is owed, at most; older ones are forgotten (their
    // records were lost, or the box never sent them).
    static constexpr int MaxOwed = 64;

    using Ticket = quint64;

    // Before the request goes out: the frame's bytes, how many copies the box
    // puts on the bus, and the mutex its records go to (null: nobody waits).
    Ticket sending(const QByteArray& frame, int copies, proto::PacketMutex* waiter);
    // The box did not take the request: no record of it will come.
    void refused(Ticket ticket);
    // The sender stops waiting; what is still to come of its frame is taken on
    // its behalf. Once this has returned the ledger no longer touches the mutex.
    void release(Ticket ticket);
    // Frames sent whose echoes have not all come yet.
    int owedCount() const;

    bool takeRecord(const proto::RawPacket& record) override;
    void passCompleted(Clock::time_point began) override;
    void pollFailed(int status) override;
    void feedEnded(int status) override;

private:
    struct Owed
    {
        Ticket ticket;
        QByteArray frame;
        int echoesLeft;
    };

    mutable std::mutex _mutex;
    std::deque<Owed> _owed; // guarded by _mutex; in send order
    // The frame whose echo came last: backward frames, frame errors and
    // time-out events are its. Ticket 0: traffic of another master.
    Ticket _current = 0; // guarded by _mutex
    // Senders waiting for the records of their frame, until they release it.
    std::map<Ticket, proto::PacketMutex*> _waiters; // guarded by _mutex
    Ticket _nextTicket = 1;                         // guarded by _mutex
    int _endStatus = 0;                             // guarded by _mutex
};

} // namespace tarvesk::itf
