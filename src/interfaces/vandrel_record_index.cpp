#include "interfaces/vandrel_record_index.h"

#include "protocol/packet_mutex.h"
#include "protocol/raw_packet.h"

#include <algorithm>

namespace tarvesk::itf {

namespace {

constexpr VandrelRecordIndex::Count Wrap = 256;

// The count whose byte is `index`, nearest to `near` (at most 128 below, 127 above).
VandrelRecordIndex::Count nearest(quint8 index, VandrelRecordIndex::Count near)
{
    const auto ahead = static_cast<qint8>(static_cast<quint8>(index - static_cast<quint8>(near & 0xFF)));
    return near + ahead;
}

bool sameByte(VandrelRecordIndex::Count a, VandrelRecordIndex::Count b)
{
    return (a & 0xFF) == (b & 0xFF);
}

} // namespace

VandrelRecordIndex::Count VandrelRecordIndex::floor() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return std::max(_givenNext, _known ? _reported + 1 : Count(0));
}

VandrelRecordIndex::Count VandrelRecordIndex::given(quint8 index, Count floorBefore)
{
    // The box counts on from where it was: the first count with this byte at
    // or above the floor. Records reported since the frame went out may be its
    // own, so the floor is taken before it went out.
    const Count count = floorBefore + ((Count(index) - floorBefore) % Wrap + Wrap) % Wrap;
    std::lock_guard<std::mutex> locker(_mutex);
    _givenNext = std::max(_givenNext, count + 2);
    if (!_known) {
        // Nothing reported yet: whatever the box recorded before is older.
        _reported = count - 1;
        _known = true;
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
    if (_known)
        count = nearest(index, _reported);
    _reported = _known ? std::max(_reported, count) : count;
    _known = true;
    if (!_waiter || record.getPacketType() != proto::PACKET_TYPE_DMX)
        return false;
    if (_answer < 0)
        _passed.push_back(count);
    else if (sameByte(count, _answer) && count != _answer)
        return true; // an older frame's: for the packet log only
    _waiter->checkPacket(&record);
    return true;
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
    _known = false;
    _reported = -1;
    _givenNext = 0;
}

} // namespace tarvesk::itf
