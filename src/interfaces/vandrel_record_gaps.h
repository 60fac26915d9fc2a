#pragma once

#include "interfaces/vandrel_record_index.h"

#include <QtGlobal>

#include <chrono>
#include <deque>
#include <utility>
#include <vector>

namespace tarvesk::itf {

// Which of the box's record indices never reached us. The box numbers every
// record it makes with one byte, shared by its DALI and DMX records, and
// reports them in that order, bar one exception: a DMX frame takes two
// indices when its first report arrives (its own record's and its answer's),
// and the records made while the line still carries it come before its own.
//
// The DMX sender tells which indices its frames were given and how long each
// may keep the line (dmxFrame*). So a skipped index is:
// - a told frame's own record: it may yet come, until a monitor pass that
//   drained the box began after the frame's time on the line (counted after
//   the frames given before it, which the box puts on the line first, and
//   from the last one recorded) with a margin, or until its answer or a later
//   frame came (the box records a frame before its answer, and its frames in
//   the order it put them on the line);
// - a told frame's answer slot: it stays empty when nobody answered, never lost;
// - an index no frame of ours may have been given: lost at once, since every
//   other record comes in index order;
// - one that a frame whose index is not known yet may have (its chain is still
//   going out, or its first report failed: untold): open until that frame's
//   time on the line is over.
// Any other open index (not a told frame's own record, nor one whose frame's
// chain is still going out) is lost at any rate once a record more than
// Behind indices above it came.
// A DMX record nobody told of (a raw report sent past the DMX sender) is read
// as a frame's own record when it does not follow one, and the index after it
// as that frame's answer slot.
//
// What the byte cannot show: records the box itself lost (not a failed
// poll) before the first record it reported since it was opened, unless a
// told frame's time on the line was over at a drained pass before that
// record, or at the pass that brought it while every record so far reads as
// older than the told frames and a shorter run lost puts them after the
// frames (the frame's own record was lost, and what comes next follows it),
// and a run of lost records that is a whole number of wraps (256, 512, ...)
// long, unless a told frame was given an index in it (no other record has
// that index, so a record read at it came a wrap later). A run
// that reads as a few indices back of the highest (224 to 255 long, and so on)
// shows as an index seen again, and counts as lost records too.
//
// Not thread-safe: its owner calls it under its own lock.
class VandrelRecordGaps
{
public:
    using Count = VandrelRecordIndex::Count;
    using Clock = std::chrono::steady_clock;

    enum class Kind { Dmx, Other };

    // How far back of the highest index a byte is read as a late record, and
    // how many records numbered after a DMX frame may come before its own
    // (the same reach as the DMX side's reading).
    static constexpr Count Behind = VandrelRecordIndex::Behind;
    // Beyond a DMX frame's time on the line, how long the box may take to
    // record it and the monitor to fetch it.
    static constexpr std::chrono::milliseconds RecordMargin = VandrelRecordIndex::RecordMargin;
    // Told DMX frames whose records may still come, at most.
    static constexpr int MaxDmxFrames = 64;

    // A record reported with the index byte `index`: its count.
    Count see(quint8 index, Kind kind, Clock::time_point now = Clock::now());
    // Whether an index below `count` is missing and may yet come.
    bool openBelow(Count count) const;
    // Whether a poll failed before any record was seen since the start: the
    // first record seen then shows the index before it lost.
    bool lostBeforeFirst() const { return _lostBeforeFirst; }
    // Whether records below `count` were lost since the last call that said
    // so; those are then forgotten.
    bool takeLostBelow(Count count);
    // A monitor pass that began at `began` drained the box. Returns how far
    // the counts of the records seen so far moved (a number of wraps; 0 as a
    // rule): counts the caller keeps move with them.
    Count passCompleted(Clock::time_point began);
    // A poll failed and may have taken records with it. Once a record was
    // seen, their indices show; before, the first one seen follows them.
    void pollFailed();
    // The box may count anew: the next record anchors the count.
    void restart();

    // The DMX sender's frame (see IVandrelRecordSink).
    void dmxFrameGoesOut(std::chrono::microseconds busy, Clock::time_point now = Clock::now());
    void dmxFrameGiven(quint8 index, bool whole, Clock::time_point now = Clock::now());
    void dmxFrameUntold(Clock::time_point now = Clock::now());

private:
    struct Missing
    {
        Count count = 0;
        Clock::time_point due; // a drained pass begun then or later shows it lost
        bool lost = false;
        // Skipped while a frame's chain went out: it may be that frame's, settled once it is told.
        bool pending = false;
        // A told frame's own record: only its time on the line settles it.
        bool told = false;
    };
    struct DmxFrame
    {
        Count own = 0; // its own record's count; its answer's is one more
        std::chrono::microseconds busy {0}; // how long it may keep the line
        Clock::time_point due; // recorded by then
        bool whole = true;
        bool ownSeen = false;
        bool answerSeen = false;
    };

    // The lowest count the box can give the next frame, and the frame whose chain goes out.
    Count floor() const;
    Count pendingFloor() const;
    // The told frame whose own record or answer has this byte (its count to
    // `count`), else null.
    DmxFrame* toldFrameOf(quint8 index, Count& count);
    // A told frame whose own record or answer has this count, else null.
    DmxFrame* toldFrameAt(Count count);
    bool reserved(Count count) const { return _guessed && count == _dmxFrame + 1; }
    bool untold(Count count) const
    {
        return _untoldFrom >= 0 && count >= _untoldFrom && (_untoldTo < 0 || count < _untoldTo);
    }
    // An index skipped at `now`: open, lost, or no record at all.
    void skipped(Count count, Clock::time_point now);
    void erase(Count count);
    void markLost(Count count);
    // The records seen since the start were read `by` short.
    void shiftRecords(Count by);
    // A DMX record of a told frame, seen at `now`.
    void seeTold(DmxFrame& frame, Count count, Clock::time_point now);

    bool _anchored = false; // a record was seen since the (re)start
    Count _highest = -1;
    Count _first = -1;    // the first record seen since then
    bool _lostBeforeFirst = false; // a poll failed before anything was seen
    std::deque<Missing> _missing; // skipped indices not yet come or taken

    // A DMX record nobody told of, read as a frame's own (_guessed): its
    // answer slot is reserved; the index that reservation kept from being
    // missing, if any.
    bool _guessed = false;
    Count _dmxFrame = -1;
    Count _guessTook = -1;

    std::deque<DmxFrame> _told;   // newest last
    Count _givenNext = 0;         // the lowest count not given to a told frame
    Clock::time_point _lineFreeAt; // when the told frames so far are off the line
    bool _pending = false;        // a frame's chain goes out, its index not told yet
    Count _pendingFloor = 0;
    bool _pendingAnchored = false; // a record was seen before the chain went out
    std::chrono::microseconds _pendingBusy {0};
    std::vector<Count> _seenWhilePending; // DMX records at or above the pending floor
    // Other records at or above it, as runs of consecutive counts (the first MaxDmxFrames runs)
    std::vector<std::pair<Count, Count>> _otherWhilePending;
    Count _untoldFrom = -1;       // indices an untold frame may have: from here...
    Count _untoldTo = -1;         // ...to the next told frame (-1: none yet)
    Clock::time_point _untoldDue;
};

} // namespace tarvesk::itf
