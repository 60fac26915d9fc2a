#include "sim_faults.h"

namespace tarvesk::sim {

void SimFaults::failNext(SimCall call, int libusbError, int times)
{
    if (times != 0)
        _callErrors[static_cast<int>(call)].push_back({libusbError, times});
}

void SimFaults::slowNext(SimCall call, int ms, int times)
{
    if (times != 0)
        _callDelays[static_cast<int>(call)].push_back({qMax(0, ms), times});
}

void SimFaults::shortReplies(int bytes, int times)
{
    if (times != 0)
        _shortReplies.push_back({qBound(0, bytes, 63), times});
}

void SimFaults::notReady(int command, quint8 byte1, int times)
{
    if (times != 0)
        _notReady.push_back({command, byte1, times});
}

void SimFaults::unsupported(int command, int times)
{
    if (times != 0)
        _unsupported.push_back({command, times});
}

void SimFaults::dropRecords(int count)
{
    dropRecordsAfter(0, count);
}

void SimFaults::dropRecordsAfter(int after, int count)
{
    _keepBeforeDrop = qMax(0, after);
    _dropRecords = count;
}

void SimFaults::delayRecords(int polls)
{
    _recordDelay = qMax(0, polls);
}

void SimFaults::setSplitPasses(bool on)
{
    _splitPasses = on;
}

void SimFaults::setEndlessPass(bool on)
{
    _endlessPass = on;
}

void SimFaults::clear()
{
    *this = SimFaults();
}

bool SimFaults::take(std::deque<Planned>& queue, int* value)
{
    if (queue.empty())
        return false;
    Planned& next = queue.front();
    *value = next.value;
    if (next.times > 0 && --next.times == 0)
        queue.pop_front();
    return true;
}

int SimFaults::takeCallError(SimCall call)
{
    int error = 0;
    take(_callErrors[static_cast<int>(call)], &error);
    return error;
}

void SimFaults::failPolls(int libusbError, int times)
{
    if (times != 0)
        _pollErrors.push_back({libusbError, times});
}

void SimFaults::failPollsAfter(int after, int libusbError, int times)
{
    _pollsBeforeFail = qMax(0, after);
    failPolls(libusbError, times);
}

int SimFaults::takePollError()
{
    if (!_pollErrors.empty() && _pollsBeforeFail > 0) {
        --_pollsBeforeFail;
        return 0;
    }
    int error = 0;
    take(_pollErrors, &error);
    return error;
}

int SimFaults::takeCallDelay(SimCall call)
{
    int ms = 0;
    take(_callDelays[static_cast<int>(call)], &ms);
    return ms;
}

int SimFaults::takeShortReply()
{
    int bytes = -1;
    take(_shortReplies, &bytes);
    return bytes;
}

bool SimFaults::takeNotReady(int command, quint8* byte1)
{
    if (_notReady.empty())
        return false;
    NotReady& next = _notReady.front();
    if (next.command >= 0 && next.command != command)
        return false;
    *byte1 = next.byte1;
    if (next.times > 0 && --next.times == 0)
        _notReady.pop_front();
    return true;
}

bool SimFaults::takeUnsupported(int command)
{
    if (_unsupported.empty())
        return false;
    Planned& next = _unsupported.front();
    if (next.value >= 0 && next.value != command)
        return false;
    if (next.times > 0 && --next.times == 0)
        _unsupported.pop_front();
    return true;
}

bool SimFaults::takeDropRecord()
{
    if (_dropRecords == 0)
        return false;
    if (_keepBeforeDrop > 0) {
        --_keepBeforeDrop;
        return false;
    }
    if (_dropRecords > 0)
        --_dropRecords;
    return true;
}

} // namespace tarvesk::sim
