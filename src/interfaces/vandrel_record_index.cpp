#include "interfaces/vandrel_record_index.h"

#include "protocol/packet_mutex.h"
#include "protocol/raw_packet.h"

#include <algorithm>

namespace tarvesk::itf {

namespace {

constexpr VandrelRecordIndex::Count Wrap = 256;

// The first count at or above `lowest` whose byte is `index`.
VandrelRecordIndex::Count atOrAbove(quint8 index, VandrelRecordIndex::Count lowest)
{
    return lowest + ((VandrelRecordIndex::Count(index) - lowest) % Wrap + Wrap) % Wrap;
}

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
    // own, so the floor is taken before it went out. The first record of the
    // feed, though, is no later than the frame when it came meanwhile (while
    // nothing else anchored the count).
    const Count count = atOrAbove(index, std::max(floorBefore, _firstReported));
    _givenNext = std::max(_givenNext, count + 2);
    _lastGiven = count;
    _lastGivenAt = Clock::now();
    if (_anchor == Anchor::None) {
        // Nothing reported yet: whatever the box recorded before is older.
        _anchor = Anchor::Given;
        _firstGiven = count;
    }
    return count;
}

void VandrelRecordIndex::beginAwait(proto::PacketMutex* waiter)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _waiter = waiter;
    _answer = -1;
    _passed.clear();
}

int VandrelRecordIndex::awaitAnswer(Count answer)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _answer = answer;
    const auto older = std::count_if(_passed.begin(), _passed.end(),
        [answer](Count passed) { return sameByte(passed, answer) && passed != answer; });
    _passed.clear();
    return static_cast<int>(older);
}

void VandrelRecordIndex::endAwait()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _waiter = nullptr;
    _answer = -1;
    _passed.clear();
}

bool VandrelRecordIndex::takeRecord(const proto::RawPacket& record)
{
    const auto index = static_cast<quint8>(record.getIndex() & 0xFF);
    std::lock_guard<std::mutex> locker(_mutex);
    Count count = index;
    switch (_anchor) {
    case Anchor::None:
        count = atOrAbove(index, _givenNext);
        break;
    case Anchor::Given:
        // The first frame's own record, one older than it, or one of the few
        // the box numbered after it while it was still sending it.
        count = atOrAbove(index, _firstGiven + Behind - (Wrap - 1));
        break;
    case Anchor::Record:
        count = atOrAbove(index, _reported - Behind);
        break;
    }
    if (_firstReported < 0)
        _firstReported = count;
    _reported = _anchor == Anchor::Record ? std::max(_reported, count) : count;
    _last = count;
    _anchor = Anchor::Record;
    if (!_waiter || record.getPacketType() != proto::PACKET_TYPE_DMX)
        return false;
    if (_answer < 0)
        _passed.push_back(count);
    else if (sameByte(count, _answer) && count != _answer)
        return true; // an older frame's: for the packet log only
    _waiter->checkPacket(&record);
    return true;
}

void VandrelRecordIndex::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (_anchor != Anchor::Record || _lastGiven < 0 || began <= _lastGivenAt)
        return;
    // The box had reported all but the last few records older than the frame
    // given last: a count further behind it lost a long run. The record
    // reported last is the newest; its byte is right, its count is taken
    // near that frame.
    const Count lowest = _lastGiven - Settled;
    if (_reported < lowest)
        _reported = _last = atOrAbove(quint8(_last & 0xFF), lowest);
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
    _last = -1;
    _firstGiven = -1;
    _firstReported = -1;
    _givenNext = 0;
    _lastGiven = -1;
}

} // namespace tarvesk::itf
