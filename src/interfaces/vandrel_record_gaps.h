#pragma once

#include "interfaces/vandrel_record_index.h"

#include <QtGlobal>

#include <chrono>
#include <deque>

namespace tarvesk::itf {

// Which of the box's record indices never reached us. The box numbers every
// record it makes with one byte, shared by its DALI and DMX records, and
// reports them in that order, bar one exception: a DMX frame takes two
// indices when it starts (its own record's and its answer's), and the records
// made while the line still carries it come before its own. So an index
// skipped may be a DMX frame's still to come; it is settled as lost once a
// record more than Behind indices above it came, or a monitor pass that
// drained the box began LineTime after the skip was seen (by then the frame
// was recorded), without it. An answer slot stays empty when a DMX frame was
// not answered: the index after a DMX frame's own record is never counted as
// lost.
//
// What the byte cannot show: records the box itself lost (not a failed
// poll) before the first record it reported since it was opened, and a run
// of lost records that is a whole number of wraps (256, 512, ...) long. A run that reads as a few indices back of the
// highest (224 to 255 long, and so on) shows as an index seen again, and
// counts as lost records too.
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
    // How long after a skip was seen a drained pass shows it lost.
    static constexpr std::chrono::milliseconds LineTime {100};

    // A record reported with the index byte `index`: its count.
    Count see(quint8 index, Kind kind, Clock::time_point now = Clock::now());
    // Whether an index below `count` is missing and may yet come.
    bool openBelow(Count count) const;
    // Whether records below `count` were lost since the last call that said
    // so; those are then forgotten.
    bool takeLostBelow(Count count);
    // A monitor pass that began at `began` drained the box.
    void passCompleted(Clock::time_point began);
    // A poll failed and may have taken records with it. Once a record was
    // seen, their indices show; before, the first one seen follows them.
    void pollFailed();
    // The box may count anew: the next record anchors the count.
    void restart();

private:
    struct Missing
    {
        Count count = 0;
        Clock::time_point seen; // when the skip showed
        bool lost = false;
    };

    bool reserved(Count count) const { return _dmxFrame >= 0 && count == _dmxFrame + 1; }

    Count _highest = -1;  // -1: nothing seen since the (re)start
    Count _first = -1;    // the first record seen since then
    Count _dmxFrame = -1; // the last DMX frame's own record
    bool _lostBeforeFirst = false; // a poll failed before anything was seen
    std::deque<Missing> _missing; // skipped indices not yet come or taken
};

} // namespace tarvesk::itf
