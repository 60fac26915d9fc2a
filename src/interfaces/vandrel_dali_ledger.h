#pragma once

#include "interfaces/ivandrel_record_sink.h"
#include "interfaces/vandrel_record_gaps.h"

#include <QByteArray>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

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
// A frame counts as ours only from the moment its request goes out: the
// transport numbers its transfers, the sender's transfer is noted under the
// transfer mutex (goesOut), and the monitor says which poll transfer the
// records it hands on came with (recordsFrom). A record reported by a poll
// before our request went out is another master's, even when its bytes are
// those of our frame.
//
// No frame is forgotten while its records may still come: once MaxOwed frames
// are owed, a sender waits for room. A frame is given up on only when a
// monitor pass that drained the box began well after its time on the bus,
// without its echo (its records were lost). An awaited frame also waits until
// no earlier frame of ours with its bytes is owed, so that records lost put
// at most one frame of those bytes in question and none of its suspicion
// passes on to the next identical frame.
//
// An echo that is not the oldest owed frame's but a later one's is another
// master's identical frame, unless the oldest frame's records were lost (or it
// never reached the bus): the box puts our frames on the bus in the order they
// went out. Which it is shows later, so the records from that echo on are
// held, reaching nobody, and the waiting senders hear of no monitor pass
// meanwhile (no verdict of "nobody answered" while their records may be held).
// The oldest frame's echo shows them to be another master's traffic; the
// oldest frame given up shows them to be ours, and they are taken again,
// without it. A foreign frame never makes us forget one of ours.
//
// Another master's frame identical to ours, next to ours on the bus: on a
// box that follows each of our echoes with a record, an echo with another
// identical echo right after it was the other master's, and so was one with
// another master's frame right after it (ours is owed again, unless it is in
// doubt already: then owed frames are in doubt while its echo may come); on other boxes
// an answer after two such echoes may be either frame's, and the exchange is
// in doubt (inDoubt): nobody gets that answer.
//
// A record that is no echo, after a frame of ours that cannot own it (no
// query, or answered already), may be the answer of our oldest owed frame
// whose echo was lost: that frame is in doubt, and so is a later owed frame
// of the same bytes whose echo it may take. Beyond MaxHeld held records, which
// frames they were is past knowing: they are dropped, every owed frame that
// may have made one is in doubt, so is the frame they were held behind (had
// its records been lost, the next echo of its bytes is another master's
// copy), and the disturbance check counts them as
// another master's memory traffic. The rule as one table is in the .cpp
// (classify, account).
//
// Records the box lost show in its record index (see VandrelRecordGaps,
// which the DMX sender tells of the indices its frames were given): a DALI
// record reported after indices that may yet come waits for them (reaching
// nobody), and while any index may yet come, whatever record showed it, the
// waiting senders hear of no monitor pass (the missing one may be their
// answer: "no answer" would be false); once they are known lost, nothing is
// known of the bus any more: our frame on the bus that may still be answered
// is in doubt, so is every owed frame whose echo may have been among them,
// and they count as another master's memory traffic. The echo that our frame
// on the bus took may have been another master's identical frame, which the
// lost records would have shown: until its own would have come, no awaited
// frame of its bytes goes out.
//
// Seeing every frame on the bus in order, it also tells a sender whether
// another master's frame came between its frame and what that frame depends
// on (disturbed): the gear's memory pointer moved between our selection of a
// location and our memory-location frame, our latch of an energy bank may
// have been released, or the ENABLE DEVICE TYPE right before a device type's
// command was used up by another master's frame.
//
// Thread-safe: senders on request threads, records on the monitor thread.
class VandrelDaliLedger : public IVandrelRecordSink
{
public:
    // Frames whose echo is owed, at most.
    static constexpr int MaxOwed = 64;
    // Beyond its time on the bus, how long a frame's echo may take before a
    // monitor pass that drained the box shows that its records were lost.
    static constexpr std::chrono::milliseconds LostAfter {3000};

    using Ticket = quint64;

    // How long a frame (each copy) can take on the bus, answer window included.
    explicit VandrelDaliLedger(std::chrono::milliseconds frameTime = std::chrono::milliseconds(60));

    // How long a sender waits for room among the owed frames: up to `guard`,
    // and beyond it while no monitor pass begun after the wait started has
    // drained the box (a host too busy to poll), up to `backstop`.
    struct RoomWait
    {
        std::chrono::milliseconds guard {0};
        std::chrono::milliseconds backstop {0};
    };

    // Before the request goes out: the frame's bytes, how many copies the box
    // puts on the bus, and the mutex its records go to (null: nobody waits).
    // An awaited frame waits (as for room) until no earlier frame of ours with
    // the same bytes is owed: then a frame whose records were lost puts no
    // later frame's answer in question, and once it is given up the same
    // question asked again is answered. So it waits, too, while the echo of
    // one that was on the bus when records were lost may still come. Its
    // wait ends by LostAfter beyond the room's guard, once a pass drained the
    // box meanwhile, else at the backstop.
    // No copies: the box records no echo of these bytes (a bit-bang pattern),
    // so nothing is owed.
    // Ticket 0: no room came in time (or polling has ended); nothing registered.
    // closesExchange: the box records a backward frame, frame error or
    // time-out event right after every echo of this frame (a box that times
    // the answer of an awaited frame).
    Ticket sending(const QByteArray& frame, int copies, proto::PacketMutex* waiter, const RoomWait& room,
        bool closesExchange = false);
    Ticket sending(const QByteArray& frame, int copies, proto::PacketMutex* waiter)
    {
        return sending(frame, copies, waiter, RoomWait());
    }
    // Under the transport's transfer mutex, as the request goes out with the
    // transfer `transfer` (again for each resend of a request the box called
    // busy), and with NotTaken as the box calls it busy: until a resend goes
    // out, no record is the frame's.
    static constexpr quint64 NotTaken = 0;
    void goesOut(Ticket ticket, quint64 transfer);
    // The box did not take the request: no record of it will come.
    void refused(Ticket ticket);
    // The sender stops waiting; what is still to come of its frame is taken on
    // its behalf. Once this has returned the ledger no longer touches the mutex.
    void release(Ticket ticket);
    // Frames sent whose echoes have not all come yet.
    int owedCount() const;
    // How the feed ended (0 while it runs): why a frame was not sent.
    int endStatus() const;
    // Whether the frame's records may be another master's: after its echo an
    // identical frame that nobody here sent came before any answer, and then an
    // answer that may be either frame's. The sender's wait was ended; the
    // query is to be asked again. Asked before release().
    bool inDoubt(Ticket ticket) const;
    // Whether another master's frame on the bus took from the frame what it
    // depends on, so that its answer is not the one asked for (asked before
    // release()):
    // - a READ or WRITE MEMORY LOCATION, preceded since our last DTR1 and DTR0
    //   by a frame that can change what the gear's memory pointer selects:
    //   DTR0 and DTR1 (they reach all gear), WRITE MEMORY LOCATION, and READ
    //   MEMORY LOCATION or STORE ACTUAL LEVEL IN DTR0 sent to that gear, a
    //   group or all. Its bytes are then those of another location.
    // - a READ MEMORY LOCATION while our latch of an energy bank (202 to 204:
    //   LatchValue written into its lock byte) stands, preceded since that
    //   latch by a WRITE MEMORY LOCATION: it may have released the latch, and
    //   a value of several bytes would no longer be one the gear held.
    // - a device type's own command (0xE0 to 0xFF) right after our ENABLE
    //   DEVICE TYPE, with a frame between them: the gear applied the enabling
    //   to that frame, and ignores ours as a command of no device type. Not so
    //   when the last frame between them was another master's exact copy of
    //   our ENABLE DEVICE TYPE: it enabled the gear for the same device type.
    bool disturbed(Ticket ticket) const;

    void recordsFrom(quint64 transfer) override;
    bool takeRecord(const proto::RawPacket& record) override;
    void passCompleted(Clock::time_point began) override;
    void pollFailed(int status) override;
    void feedEnded(int status) override;
    void dmxFrameGoesOut(std::chrono::microseconds busy) override;
    void dmxFrameGiven(quint8 index, bool whole) override;
    void dmxFrameUntold() override;

private:
    // Records held at most while the oldest owed frame's fate is open; beyond,
    // they are dropped and the frames they may be records of are in doubt (a
    // bus carries far fewer in the time a frame takes to be given up).
    static constexpr int MaxHeld = 1024;

    // A frame of ours, from sending() until its last echo came.
    struct Owed
    {
        Ticket ticket = 0; // 0: another master's frame (only ever on the bus, never owed)
        QByteArray frame;
        int echoesLeft = 1;
        int copies = 1;
        bool closesExchange = false;
        quint64 transfer = 0; // NotTaken: not gone out yet, or the box called it busy
        Clock::time_point wentOut;
        Clock::time_point drainedBefore; // when the last drained pass before it began
        // Its records may have been lost or dropped: its sender was told it is
        // in doubt, and what is taken for it reaches nobody.
        bool suspect = false;
    };

    // How far the exchange of the frame on the bus (the one whose echo came
    // last) has come.
    enum class Stage {
        Unknown, // no frame known to be on the bus: none yet, or records were dropped
        Open,    // its echo came and nothing since: a record that is no echo may be its
        Twinned, // ours, sent once, and an identical echo came right after: its answer may be either's
        Closed,  // it had its record; what follows before the next echo is nobody's
    };
    struct OnBus
    {
        Stage stage = Stage::Unknown;
        Owed frame;
    };

    // What a record is to the ledger (the rows of the table in the .cpp).
    enum class Event {
        NotOurs,      // an echo right after our closing frame's echo: that one was another master's
        OldestsEcho,  // the echo of the oldest owed frame
        ShortEcho,    // one byte: the echo of the oldest owed frame, a one-byte frame
        DoubtfulEcho, // as ShortEcho, but it may be the answer of our frame on the bus
        Twin,         // our frame's bytes again, nothing between, sent once: one is another master's
        LaterEcho,    // the echo of a later owed frame while the oldest is still owed
        ForeignEcho,  // a frame nobody here sent
        ByteAgain,    // our one-byte frame's byte again: its answer, or its echo
        Answer,       // the backward frame, frame error or time-out event of the frame on the bus
        Stray,        // a record that is no echo and that no frame on the bus can own
    };
    // Live: as the box reports them. Foreign: held records that proved to come
    // before our oldest frame on the bus (another master's traffic).
    enum class Replay { Live, Foreign };

    struct Held
    {
        std::unique_ptr<proto::RawPacket> record; // null: the box lost records here
        quint64 recordsFrom = 0;
        VandrelRecordGaps::Count count = 0; // its index, counted past the wrap
    };

    bool hasRoom() const { return int(_owed.size()) < MaxOwed; }
    // All under _mutex. A record reported with the poll of transfer `from`.
    void offer(const proto::RawPacket& record, quint64 from);
    Event classify(const proto::RawPacket& record, const QByteArray& bytes, quint64 from, Replay replay) const;
    void account(const proto::RawPacket& record, quint64 from, Replay replay);
    bool isOldestsEcho(const QByteArray& bytes, quint64 from) const;
    // The bytes of a later owed frame, while the oldest is still owed.
    bool isLaterOnesEcho(const QByteArray& bytes, quint64 from) const;
    bool isOursUnanswered() const;
    void takeOldest(quint64 from);
    void oweAgain();
    void pass(const proto::RawPacket& record);
    void suspect(Owed& owed);
    // Its records were lost: its sender, if it waits, fails.
    void giveUp(const Owed& owed);
    void hold(const proto::RawPacket& record, quint64 from);
    void dropHeld(quint64 from);
    // Every frame of ours behind the oldest that may have made a held record
    // (reported up to the poll of transfer `from`) is in doubt; how many became so.
    int suspectHeldOwners(quint64 from);
    // DALI records wait behind indices that may yet come (_gated), and go on
    // in order once those came or were lost.
    void releaseGated();
    // Records were lost before the next one reported with the poll of transfer
    // `from`: at once, or in its place behind the held records.
    void lostHere(quint64 from);
    void recordsLost(quint64 from);
    // Records went unseen after the frame on the bus: ours, unanswered, is in
    // doubt (if awaited) and its own echo may still come. How many became so.
    int forgetFrameOnBus();
    // Its echo may still come: no identical frame of ours is awaited until then.
    void echoMayCome(const Owed& frame);
    // Its time on the bus was over well before a drained pass that began then:
    // its records would have been reported.
    bool overdue(const Owed& frame, Clock::time_point began) const;
    // What was gated goes unseen (the feed ended).
    void dropGated();
    // The frame's answer may be another's: its sender is told, and asks again or fails.
    void doubt(Ticket ticket);
    // The held records came before our oldest frame: another master's traffic.
    void settleHeldForeign();
    // The frame the records are held behind is owed no more: take them again.
    void settleIfOldestGone();
    // Bookkeeping of the gear's memory pointer, in bus order (under _mutex).
    void noteForeignFrame(const QByteArray& frame);
    void noteOurFrame(Ticket ticket, const QByteArray& frame);
    void noteUnseenFrames();

    const std::chrono::milliseconds _frameTime;
    mutable std::mutex _mutex;
    std::condition_variable _room;
    std::deque<Owed> _owed; // guarded by _mutex; in send order
    // Frames of ours on the bus when records were lost, whose echo taken may
    // have been another master's identical frame: until they would have been
    // given up, no awaited frame of their bytes goes out (guarded by _mutex).
    std::deque<Owed> _echoMayCome;
    OnBus _onBus; // guarded by _mutex
    std::set<Ticket> _doubted; // guarded by _mutex; until released
    // Records held behind the oldest owed frame (see above), in arrival order.
    std::deque<Held> _held; // guarded by _mutex
    Ticket _heldBehind = 0; // guarded by _mutex; 0 while nothing is held
    VandrelRecordGaps _gaps;     // guarded by _mutex
    std::deque<Held> _gated;     // guarded by _mutex; DALI records behind indices that may yet come
    quint64 _droppedHeld = 0; // guarded by _mutex; records dropped beyond MaxHeld, in all
    // Forward frames counted in bus order, and where in it (all guarded by
    // _mutex): our last DTR1 and DTR0, another master's last frame that
    // changed the gear's DTR1, the pointer of all gear, and the pointer of
    // each short address.
    quint64 _busFrames = 0;
    quint64 _ourBankSelection = 0;
    quint64 _ourLocationSelection = 0;
    quint64 _foreignBankChange = 0;
    quint64 _foreignPointerChangeAll = 0;
    std::array<quint64, 64> _foreignPointerChangeAt {};
    quint64 _foreignPointerChangeAny = 0;
    // Also in bus order (guarded by _mutex): another master's last frame and
    // last WRITE MEMORY LOCATION; our ENABLE DEVICE TYPE while it is our
    // latest frame (else 0); our latch of an energy bank while it stands
    // (else 0); the values of our last DTR1 and DTR0 (-1: none yet) and
    // whether a memory-location frame of ours moved the pointer on since.
    quint64 _foreignFrame = 0;
    quint64 _foreignMemoryWrite = 0;
    quint64 _ourEnabling = 0;
    QByteArray _ourEnablingFrame; // its bytes (the device type), while it stands
    quint64 _ourLatch = 0;
    int _ourBank = -1;
    int _ourLocation = -1;
    bool _ourLocationMoved = false;
    std::set<Ticket> _disturbed; // guarded by _mutex; until released
    // Senders waiting for the records of their frame, until they release it.
    std::map<Ticket, proto::PacketMutex*> _waiters; // guarded by _mutex
    Ticket _nextTicket = 1;                         // guarded by _mutex
    quint64 _recordsFrom = 0;                       // guarded by _mutex
    Clock::time_point _lastDrainedPassBegan;        // guarded by _mutex
    int _endStatus = 0;                             // guarded by _mutex
};

} // namespace tarvesk::itf
