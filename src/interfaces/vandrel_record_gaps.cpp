#include "interfaces/vandrel_record_gaps.h"

#include <algorithm>

namespace tarvesk::itf {

VandrelRecordGaps::Count VandrelRecordGaps::see(quint8 index, Kind kind, Clock::time_point now)
{
    Count count = index;
    const auto isDmxAnswer = [this, kind](Count c) { return kind == Kind::Dmx && reserved(c); };
    if (_highest < 0) {
        _first = count;
        if (_lostBeforeFirst)
            _missing.push_back({count - 1, now, true});
        _lostBeforeFirst = false;
    } else {
        count = VandrelRecordIndex::atOrAbove(index, _highest - Behind + 1);
        if (count > _highest) {
            // Skipped indices are open until they come late or are settled lost
            // (at most Behind of them stay open: see below).
            for (Count skipped = std::max(_highest + 1, count - Behind - 1); skipped < count; ++skipped) {
                if (!reserved(skipped))
                    _missing.push_back({skipped, now, false});
            }
            if (count - _highest - 1 > Behind + 1)
                _missing.push_back({_highest + 1, now, true}); // more than can come late: lost
            _highest = count;
        } else {
            const auto late = std::find_if(
                _missing.begin(), _missing.end(), [count](const Missing& m) { return m.count == count; });
            if (late != _missing.end()) {
                _missing.erase(late);
            } else if (isDmxAnswer(count) || (kind == Kind::Dmx && count < _first)) {
                // A DMX answer made after the records numbered later (its slot
                // was not counted lost), or a DMX frame numbered before the
                // first record seen and recorded after it.
            } else {
                // An index seen again: the box made a wrap's worth of records
                // less a few that never came.
                while (count <= _highest)
                    count += VandrelRecordIndex::Wrap;
                _missing.push_back({count - 1, now, true});
                _highest = count;
            }
        }
    }
    _highest = std::max(_highest, count);
    for (Missing& missing : _missing) {
        if (_highest - missing.count > Behind)
            missing.lost = true;
    }
    // A DMX record right after the last DMX frame's own record is its answer;
    // any other is a frame's own, whose answer slot may stay empty.
    if (kind == Kind::Dmx && !isDmxAnswer(count)) {
        _dmxFrame = count;
        _missing.erase(std::remove_if(_missing.begin(), _missing.end(),
                           [count](const Missing& m) { return !m.lost && m.count == count + 1; }),
            _missing.end());
    }
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

void VandrelRecordGaps::passCompleted(Clock::time_point began)
{
    for (Missing& missing : _missing) {
        if (missing.seen + LineTime <= began)
            missing.lost = true;
    }
}

void VandrelRecordGaps::pollFailed()
{
    if (_highest < 0)
        _lostBeforeFirst = true;
}

void VandrelRecordGaps::restart()
{
    _lostBeforeFirst = false;
    _highest = -1;
    _dmxFrame = -1;
    _missing.clear();
}

} // namespace tarvesk::itf
