#include "interfaces/vandrel_record_index.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
#include "protocol/packet_mutex.h"
#include "protocol/raw_packet.h"

#include <algorithm>

namespace tarvesk::itf {

namespace {

bool sameByte(VandrelRecordIndex::Count a, VandrelRecordIndex::Count b)
{
    return (a & 0xFF) == (b & 0xFF);
}

} // namespace

VandrelRecordIndex::Count VandrelRecordIndex::floor() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return std::max(_givenNext, _anchor == Anchor::Record ? _reported + 1 : Count(0));
}

VandrelRecordIndex::Count VandrelRecordIndex::given(quint8 index, Count floorBefore)
{
    std::lock_guard<std::mutex> locker(_mutex);
    // The box counts on from where it was: the first count with this byte at
    // or above the floor. Records reported since the frame went out may be its
    // own, so the floor is taken before it went out. When nothing anchored the
    // count then (no frame given, nothing reported), the records reported
    // meanwhile are the feed's first: older than the frame, or among the few
    // the box numbered after it while it was still sending it.
    const bool firstRecordsMeanwhile = _lastGiven < 0 && _firstReported >= 0 && floorBefore <= _firstReported;
    Count count = atOrAbove(index, firstRecordsMeanwhile ? _firstReported - Behind : floorBefore);
    if (_aheadOfFirst && _lastGiven == _firstGiven && _sinceFirstOwn >= 0) {
        // The box gave the second frame an index below records read as
        // numbered after the first one and reported before its own record
        // (which came at its count): those lay more than the first frame's
        // window before it (a long run lost up to it), not a wrap of lost
        // records after it. Reading them so is harmless to a waiter either
        // way: no DMX frame of this feed is older than the first.
        const Count next = atOrAbove(index, _givenNext);
        if (next <= _reported && next > _sinceFirstOwn) {
            _reported = std::max(_sinceFirstOwn, _givenNext - 1);
            count = next;
        }
    }
    _aheadOfFirst = false;
    _givenNext = std::max(_givenNext, count + 2);
    _lastGiven = count;
    _lastGivenAt = Clock::now();
    const Clock::time_point recorded = recordedBy(_lineFreeAt, _lastGivenAt, _goingOutBusy);
    if (_anchor == Anchor::None) {
        // Nothing reported yet: whatever the box recorded before is older.
        _anchor = Anchor::Given;
        _firstGiven = count;
    }
    // Beyond the bound the frames are not followed one by one: the oldest
    // ones stand for the rest, and once those are off the line a record is
    // read from the first frame again.
    if (_anchor == Anchor::Given && !_onLineOverflowed) {
        _onLineOverflowed = int(_onLine.size()) >= MaxOnLine;
        if (!_onLineOverflowed)
            _onLine.emplace_back(count, recorded);
    }
    return count;
}

void VandrelRecordIndex::dmxFrameGoesOut(std::chrono::microseconds busy)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _goingOutBusy = busy;
}

void VandrelRecordIndex::beginAwait(proto::PacketMutex* waiter)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _passedOver = false;
    _waiter = waiter;
    _answer = -1;
    _confirmed = false;
    _untellable = false;
    _early.clear();
    _held.clear();
}

int VandrelRecordIndex::awaitAnswer(Count answer)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _answer = answer;
    _awaitGivenAt = Clock::now(); // the frame went out before its count was given
    // Of the DMX records reported while the frame went out, only its answer
    // (a quick one) concerns the waiter; the rest were other frames'.
    for (auto& [count, record] : _early) {
        if (count == answer)
            _held.push_back(std::move(record));
        else if (sameByte(count, answer))
            _passedOver = true;
    }
    _early.clear();
    return 0;
}

void VandrelRecordIndex::endAwait()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _passedOver = false;
    _waiter = nullptr;
    _answer = -1;
    _confirmed = false;
    _untellable = false;
    _early.clear();
    _held.clear();
}

bool VandrelRecordIndex::takeRecord(const proto::RawPacket& record)
{
    const auto index = static_cast<quint8>(record.getIndex() & 0xFF);
    const bool dmx = record.getPacketType() == proto::PACKET_TYPE_DMX;
    std::lock_guard<std::mutex> locker(_mutex);
    Count count = index;
    switch (_anchor) {
    case Anchor::None:
        count = atOrAbove(index, _givenNext);
        break;
    case Anchor::Given:
        if (dmx) {
            // The service's own frame: the first one's or a later one's, and
            // not one whose time on the line was over before a drained pass
            // began (its records came then, or were lost).
            count = atOrAbove(index, _onLine.empty() ? _firstGiven : _onLine.front().first);
        } else if (_settledGiven >= 0) {
            // A drained pass began after that frame went out: every record
            // older than it was reported (none was) or lost, and this one
            // was numbered after it.
            count = atOrAbove(index, _settledGiven + 2);
        } else {
            // The first frame's own record, one older than it, or one of the few
            // the box numbered after it while it was still sending it.
            count = atOrAbove(index, _firstGiven + Behind - (Wrap - 1));
            _provisional = count < _firstGiven;
            _aheadOfFirst = count > _firstGiven + 1;
        }
        break;
    case Anchor::Record:
        count = atOrAbove(index, _reported - Behind);
        if (_provisional && dmx) {
            // The first record read as older than the first frame lay after a
            // lost run, when a DMX record (never older than that frame) reads
            // older too: everything since was read a wrap too low.
            _provisional = false;
            if (count < _firstGiven) {
                const Count shift = atOrAbove(index, _firstGiven) - count;
                count += shift;
                _reported += shift;
                _firstReported += shift;
            }
        }
        break;
    }
    if (_firstReported < 0)
        _firstReported = count;
    if (_sinceFirstOwn >= 0 || (dmx && _firstGiven >= 0 && (count == _firstGiven || count == _firstGiven + 1)))
        _sinceFirstOwn = std::max(_sinceFirstOwn, count);
    _reported = _anchor == Anchor::Record ? std::max(_reported, count) : count;
    _anchor = Anchor::Record;
    _onLine.clear();
    _onLineOverflowed = false;
    if (!_waiter || !dmx)
        return false;
    if (_untellable)
        return true; // the wait has failed: nothing more reaches it
    if (_answer < 0) {
        // Kept back until the awaited answer's count is known.
        _early.emplace_back(count, std::unique_ptr<proto::RawPacket>(record.clone()));
        if (int(_early.size()) > MaxEarly)
            _early.erase(_early.begin());
        return true;
    }
    if (sameByte(count, _answer) && count != _answer) {
        // An older frame's: for the packet log only (unless the count was
        // read short: see passCompleted).
        _passedOver = true;
        return true;
    }
    if (count == _answer && !_confirmed) {
        _held.emplace_back(record.clone());
        return true;
    }
    _waiter->checkPacket(&record);
    return true;
}

void VandrelRecordIndex::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (_anchor == Anchor::Given && began > _lastGivenAt)
        _settledGiven = _lastGiven;
    while (!_onLine.empty() && _onLine.front().second <= began)
        _onLine.pop_front();
    if (_anchor == Anchor::Record && _lastGiven >= 0 && began > _lastGivenAt) {
        // The box had reported all but the last few records older than the
        // frame given last: a count further behind it lost a long run, which
        // reached up to that frame (it may still be on the line, its records
        // to come). The count goes on from just below it. Had the records
        // reported last been numbered after the frame instead, read a wrap
        // short, the count would then stay short of them, by less than a wrap,
        // and read the records to come after them consistently; the frame's
        // own records, though, must not be read a wrap ahead of it.
        if (_reported < _lastGiven - Settled) {
            _reported = _lastGiven - 1;
            _provisional = false;
            // A record with the awaited answer's byte, passed over as an
            // older frame's, may have been read short too, or be an older
            // frame's after all (a long run lost after it): which, the
            // count cannot tell.
            if (_passedOver && _waiter && _answer >= 0 && !_confirmed && !_untellable) {
                qCWarning(service::loggerGlog()).noquote()
                    << QStringLiteral(GLOG_PREFIX "DMX: the box lost a long run of records; a record with "
                                                  "the answer's index (%1) cannot be told from an older frame's")
                           .arg(_answer & 0xFF);
                untellable();
                return;
            }
        }
    }
    if (!_waiter || _answer < 0 || _confirmed || _untellable || began <= _awaitGivenAt)
        return;
    // Every record older than the awaited frame is reported now. Its count was
    // read as the first with its byte at or above the floor; it is that one
    // unless a wrap's worth of counts lies between the floor and the last one
    // reported.
    const Count frame = _answer - 1;
    if (_reported < frame + Wrap) {
        _confirmed = true;
        for (const auto& record : _held)
            _waiter->checkPacket(record.get());
        _held.clear();
        return;
    }
    qCWarning(service::loggerGlog()).noquote()
        << QStringLiteral(GLOG_PREFIX "DMX: the box reported %1 indices up to and past the frame's count; "
                                      "its answer (index %2) cannot be told from an older frame's")
               .arg(_reported - frame)
               .arg(_answer & 0xFF);
    untellable();
}

void VandrelRecordIndex::untellable()
{
    _held.clear();
    _untellable = true;
    _waiter->endFeed(core::ITF_ERR_PACKET_NOT_ANSWER);
}

void VandrelRecordIndex::feedEnded(int status)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (status != 0) {
        _ended = true;
        return;
    }
    // Polling only restarted (a new interval): the count goes on.
    if (!_ended)
        return;
    _ended = false;
    _anchor = Anchor::None;
    _reported = -1;
    _firstGiven = -1;
    _firstReported = -1;
    _givenNext = 0;
    _lastGiven = -1;
    _provisional = false;
    _aheadOfFirst = false;
    _sinceFirstOwn = -1;
    _settledGiven = -1;
    _onLine.clear();
    _onLineOverflowed = false;
}

} // namespace tarvesk::itf
