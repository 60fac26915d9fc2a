#include "interfaces/vandrel_record_gaps.h"

#include <algorithm>

namespace tarvesk::itf {

namespace {

constexpr VandrelRecordGaps::Count Wrap = VandrelRecordIndex::Wrap;

} // namespace

VandrelRecordGaps::Count VandrelRecordGaps::floor() const
{
    // Before the first record, counts start a wrap up: the first record may be
    // read below the first told frame, and stays positive.
    return std::max(_anchored ? _highest + 1 : Wrap, _givenNext);
}

VandrelRecordGaps::DmxFrame* VandrelRecordGaps::toldFrameOf(quint8 index, Count& count)
{
    for (auto frame = _told.rbegin(); frame != _told.rend(); ++frame) {
        for (const Count c : {frame->own, frame->own + 1}) {
            // A wrap older is another frame's.
            if ((c & 0xFF) == index && (!_anchored || c > _highest - (Wrap - Behind))) {
                count = c;
                return &*frame;
            }
        }
    }
    return nullptr;
}

VandrelRecordGaps::DmxFrame* VandrelRecordGaps::toldFrameAt(Count count)
{
    const auto frame = std::find_if(_told.begin(), _told.end(),
        [count](const DmxFrame& f) { return f.own == count || f.own + 1 == count; });
    return frame == _told.end() ? nullptr : &*frame;
}

void VandrelRecordGaps::skipped(Count count, Clock::time_point now)
{
    Missing missing;
    missing.count = count;
    if (const DmxFrame* frame = toldFrameAt(count)) {
        // Its answer slot may stay empty, and a frame whose chain broke off may never be recorded.
        if (count != frame->own || !frame->whole || frame->ownSeen)
            return;
        missing.due = frame->due;
        missing.told = true;
    } else if (reserved(count)) {
        _guessTook = count;
        return;
    } else if (_pending && count >= pendingFloor()) {
        missing.pending = true;
    } else if (untold(count)) {
        missing.due = _untoldDue;
    } else {
        // Every record but a DMX frame's comes in index order.
        missing.due = now;
        missing.lost = true;
    }
    _missing.push_back(missing);
}

void VandrelRecordGaps::erase(Count count)
{
    _missing.erase(std::remove_if(_missing.begin(), _missing.end(),
                       [count](const Missing& m) { return m.count == count; }),
        _missing.end());
}

void VandrelRecordGaps::markLost(Count count)
{
    erase(count);
    Missing missing;
    missing.count = count;
    missing.lost = true;
    _missing.push_back(missing);
}

void VandrelRecordGaps::seeTold(DmxFrame& frame, Count count, Clock::time_point now)
{
    // The box puts its frames on the line one after the other and records
    // each before its answer: what came before this record and did not come
    // was lost.
    for (DmxFrame& earlier : _told) {
        const bool before = earlier.own < frame.own || (&earlier == &frame && count != frame.own);
        if (before && !earlier.ownSeen && earlier.whole)
            markLost(earlier.own);
        if (before || &earlier == &frame)
            earlier.ownSeen = true;
    }
    if (count != frame.own) {
        frame.answerSeen = true;
        return;
    }
    // The frames after it go on the line from now on at the latest.
    auto lineFreeAt = now;
    for (DmxFrame& later : _told) {
        if (later.own <= frame.own)
            continue;
        lineFreeAt += later.busy;
        const auto due = std::min(later.due, lineFreeAt + RecordMargin);
        for (Missing& missing : _missing) {
            if (missing.told && missing.count == later.own)
                missing.due = std::min(missing.due, due);
        }
        later.due = due;
    }
    _lineFreeAt = std::min(_lineFreeAt, lineFreeAt);
}

VandrelRecordGaps::Count VandrelRecordGaps::see(quint8 index, Kind kind, Clock::time_point now)
{
    Count count = index;
    DmxFrame* told = kind == Kind::Dmx ? toldFrameOf(index, count) : nullptr;
    if (!_anchored) {
        // The first record: older than the first frame told since the start,
        // or one of the few numbered after it; anything after that frame
        // belongs to this feed.
        if (!told)
            count += Wrap; // counts start a wrap up (see floor)
        Count from = count;
        if (!_told.empty()) {
            from = _told.front().own;
            if (!told)
                count = VandrelRecordIndex::atOrAbove(index, from + Behind - (Wrap - 1));
            // No other record has an index a told frame was given: this one
            // is a wrap older (the frame went out with that many unreported).
            while (kind == Kind::Other && toldFrameAt(count))
                count -= Wrap;
        }
        _anchored = true;
        _first = count;
        _highest = std::min(from, count) - 1;
    } else if (!told) {
        count = VandrelRecordIndex::atOrAbove(index, _highest - Behind + 1);
        // No other record has an index a told frame was given: this one came
        // a wrap's worth of records (or more) later, and they never came.
        while (kind == Kind::Other && toldFrameAt(count))
            count += Wrap;
    }
    if (count > _highest) {
        // Skipped indices are open until they come late or are settled lost
        // (at most Behind of them stay open: see below).
        const Count window = std::max(_highest + 1, count - Behind - 1);
        for (Count s = window; s < count; ++s)
            skipped(s, now);
        if (window > _highest + 1) {
            markLost(_highest + 1); // more than can come late: lost
            // A told frame's own record among them is lost with them, once: a
            // later frame's record must not show it lost again long after.
            for (DmxFrame& frame : _told) {
                if (frame.own > _highest && frame.own < window)
                    frame.ownSeen = true;
            }
        }
        _highest = count;
        if (_lostBeforeFirst)
            markLost(count - 1); // the first record seen follows those the failed poll took
        _lostBeforeFirst = false;
    } else {
        const auto late = std::find_if(
            _missing.begin(), _missing.end(), [count](const Missing& m) { return m.count == count; });
        if (late != _missing.end()) {
            _missing.erase(late);
        } else if (!told && kind == Kind::Other) {
            // An index seen again: the box made a wrap's worth of records
            // less a few that never came. (A DMX record below the highest is
            // a frame's recorded late, or its answer.)
            while (count <= _highest)
                count += Wrap;
            markLost(count - 1);
            _highest = count;
        }
    }
    for (Missing& missing : _missing) {
        if (!missing.told && !missing.pending && _highest - missing.count > Behind)
            missing.lost = true;
    }
    if (kind == Kind::Other && _pending && count >= pendingFloor()) {
        // Kept as runs of consecutive counts; the lowest ones are those a
        // frame's byte read from the floor may meet.
        if (!_otherWhilePending.empty() && _otherWhilePending.back().second + 1 == count)
            _otherWhilePending.back().second = count;
        else if (int(_otherWhilePending.size()) < MaxDmxFrames)
            _otherWhilePending.emplace_back(count, count);
    }
    if (told) {
        seeTold(*told, count, now);
    } else if (kind == Kind::Dmx) {
        if (_pending && count >= pendingFloor())
            _seenWhilePending.push_back(count);
        // Nobody told of it (yet): a record right after a frame's own is its
        // answer; any other is a frame's own, whose answer slot may stay empty.
        if (!reserved(count)) {
            _guessed = true;
            _dmxFrame = count;
            _guessTook = -1;
            const auto slot = std::find_if(_missing.begin(), _missing.end(),
                [count](const Missing& m) { return !m.lost && m.count == count + 1; });
            if (slot != _missing.end()) {
                _guessTook = slot->count;
                _missing.erase(slot);
            }
        }
    }
    // Told frames whose records came, or that a wrap has passed, are done
    // with. Once a wrap has passed, no record can be read as a frame's own any
    // more: its index is lost now, not waited for nor counted lost long after.
    // (The frame may have been placed a wrap off, given while a wrap's worth
    // of records was unreported, and its index be another record's.)
    const Count outOfReach = _highest - (Wrap - Behind);
    for (Missing& missing : _missing) {
        if (missing.told && missing.count + 1 <= outOfReach)
            missing.lost = true;
    }
    _told.erase(std::remove_if(_told.begin(), _told.end(),
                    [outOfReach](const DmxFrame& f) {
                        return (f.ownSeen && f.answerSeen) || f.own + 1 <= outOfReach;
                    }),
        _told.end());
    return count;
}

bool VandrelRecordGaps::openBelow(Count count) const
{
    return std::any_of(
        _missing.begin(), _missing.end(), [count](const Missing& m) { return !m.lost && m.count < count; });
}

bool VandrelRecordGaps::takeLostBelow(Count count)
{
    const auto before = _missing.size();
    _missing.erase(std::remove_if(_missing.begin(), _missing.end(),
                       [count](const Missing& m) { return m.lost && m.count < count; }),
        _missing.end());
    return _missing.size() != before;
}

VandrelRecordGaps::Count VandrelRecordGaps::passCompleted(Clock::time_point began)
{
    // A told frame's time on the line was over when a pass that drained the
    // box began, and no record at or above its index came: its own record was
    // lost with everything before it, and what comes next was numbered after
    // it. Counted on from there, records that follow a long lost run are not
    // read a wrap short, below frames already given.
    std::vector<DmxFrame*> lost;
    Count top = -1;
    bool allAbove = true; // every told frame lies above every record seen
    for (DmxFrame& frame : _told) {
        if (_anchored && frame.own <= _highest) {
            allAbove = false;
            continue;
        }
        if (!frame.whole || frame.ownSeen || frame.due > began)
            continue;
        lost.push_back(&frame);
        top = std::max(top, frame.own);
    }
    Count shift = 0;
    if (!lost.empty() && _anchored && allAbove) {
        // Every record since the start was read as older than those frames:
        // either they are, and everything after them up to the frames was
        // lost, or they came after the frames and were read a wrap short. The
        // shorter run lost is taken. (Either way the frames' records were
        // lost, and the records to come follow the frames.)
        const Count after = VandrelRecordIndex::atOrAbove(quint8(_first & 0xFF), top + 2);
        if (after - (top + 2) < top - _highest)
            shift = after - _first;
    }
    if (shift != 0)
        shiftRecords(shift);
    for (DmxFrame* frame : lost) {
        markLost(frame->own);
        frame->ownSeen = true;
    }
    if (shift != 0) {
        // A frame still on the line that the records seen now follow: its own
        // record comes late, or was lost (once its time on the line is over).
        for (const DmxFrame& frame : _told) {
            if (frame.whole && !frame.ownSeen && frame.own <= _highest)
                skipped(frame.own, began);
        }
    }
    if (!lost.empty()) {
        if (!_anchored)
            _pendingAnchored = true;
        _anchored = true;
        _highest = std::max(_highest, top);
    }
    for (Missing& missing : _missing) {
        if (missing.pending || missing.lost || missing.due > began)
            continue;
        missing.lost = true;
        // A told frame's own record settled lost is counted once: a later
        // frame's record must not show it lost again.
        if (missing.told) {
            for (DmxFrame& frame : _told) {
                if (frame.own == missing.count)
                    frame.ownSeen = true;
            }
        }
    }
    return shift;
}

void VandrelRecordGaps::shiftRecords(Count by)
{
    _highest += by;
    _first += by;
    for (Missing& missing : _missing)
        missing.count += by;
    if (_dmxFrame >= 0)
        _dmxFrame += by;
    if (_guessTook >= 0)
        _guessTook += by;
    for (Count& count : _seenWhilePending)
        count += by;
    for (auto& run : _otherWhilePending) {
        run.first += by;
        run.second += by;
    }
}

void VandrelRecordGaps::pollFailed()
{
    if (!_anchored)
        _lostBeforeFirst = true;
}

void VandrelRecordGaps::restart()
{
    *this = VandrelRecordGaps();
}

void VandrelRecordGaps::dmxFrameGoesOut(std::chrono::microseconds busy, Clock::time_point)
{
    _pending = true;
    _pendingFloor = floor();
    _pendingAnchored = _anchored;
    _pendingBusy = busy;
    _seenWhilePending.clear();
    _otherWhilePending.clear();
}

VandrelRecordGaps::Count VandrelRecordGaps::pendingFloor() const
{
    // Records seen first since the start while the chain went out anchor the
    // count: older than the frame, or among the few the box numbered after it.
    return _pendingAnchored || !_anchored ? _pendingFloor : _first - Behind;
}

void VandrelRecordGaps::dmxFrameGiven(quint8 index, bool whole, Clock::time_point now)
{
    DmxFrame frame;
    frame.own = VandrelRecordIndex::atOrAbove(index, _pending ? pendingFloor() : floor());
    // Its two indices are its own: where another record came at either while
    // its chain went out, the box gave it that byte a wrap (or more) later,
    // and everything it made in between was lost or is unreported.
    const auto takenByOther = [this](Count c) {
        return std::any_of(_otherWhilePending.begin(), _otherWhilePending.end(),
            [c](const std::pair<Count, Count>& run) { return run.first <= c && c <= run.second; });
    };
    while (takenByOther(frame.own) || takenByOther(frame.own + 1))
        frame.own += Wrap;
    frame.whole = whole;
    frame.busy = _pendingBusy;
    frame.due = VandrelRecordIndex::recordedBy(_lineFreeAt, now, _pendingBusy);
    const auto seen = [this](Count c) {
        return std::find(_seenWhilePending.begin(), _seenWhilePending.end(), c) != _seenWhilePending.end();
    };
    frame.ownSeen = seen(frame.own);
    frame.answerSeen = seen(frame.own + 1);
    _pending = false;
    _seenWhilePending.clear();
    _otherWhilePending.clear();
    _givenNext = std::max(_givenNext, frame.own + 2);
    if (_untoldFrom >= 0 && _untoldTo < 0)
        _untoldTo = frame.own;
    _told.push_back(frame);
    if (int(_told.size()) > MaxDmxFrames)
        _told.pop_front();
    // Its answer, come while the chain went out, was read as a frame's own
    // record, and the index after it as that frame's answer slot.
    const bool answerGuessed = _guessed && _dmxFrame == frame.own + 1;
    if (answerGuessed || (_guessed && _dmxFrame == frame.own))
        _guessed = false;
    // What was skipped while the chain went out is this frame's, or lost.
    std::vector<Count> skippedMeanwhile;
    for (const Missing& missing : _missing) {
        if (missing.pending)
            skippedMeanwhile.push_back(missing.count);
    }
    if (answerGuessed && _guessTook >= 0)
        skippedMeanwhile.push_back(_guessTook);
    for (const Count count : skippedMeanwhile) {
        erase(count);
        skipped(count, now);
    }
    if (frame.answerSeen && !frame.ownSeen && frame.whole)
        markLost(frame.own);
}

void VandrelRecordGaps::dmxFrameUntold(Clock::time_point now)
{
    if (!_pending)
        return;
    _pending = false;
    _seenWhilePending.clear();
    _otherWhilePending.clear();
    if (_untoldFrom < 0 || _untoldTo >= 0) {
        _untoldFrom = pendingFloor();
        _untoldTo = -1;
    }
    _untoldDue = VandrelRecordIndex::recordedBy(_lineFreeAt, now, _pendingBusy);
    for (Missing& missing : _missing) {
        if (missing.pending) {
            missing.pending = false;
            missing.due = _untoldDue;
        }
    }
}

} // namespace tarvesk::itf
