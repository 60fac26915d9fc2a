#include "sim_monitor_stream.h"

#include <cstring>

namespace tarvesk::sim {

QByteArray SimMonitorStream::encodeRecord(
    quint8 type, quint8 index, quint8 flags, quint16 timeTicks, const QByteArray& payload)
{
    QByteArray record;
    record.reserve(7 + payload.size());
    record.append(char(type));
    record.append(char(index));
    record.append(char(flags));
    record.append(char(timeTicks >> 8));
    record.append(char(timeTicks & 0xFF));
    record.append(char((payload.size() >> 8) & 0xFF));
    record.append(char(payload.size() & 0xFF));
    record.append(payload);
    return record;
}

void SimMonitorStream::fillPollReply(unsigned char* reply, bool endPass, bool neverEnd)
{
    std::memset(reply, 0, ReportSize);
    reply[0] = 0x80 | PollCommand;
    if (_pending.isEmpty() && !_needsTerminator) {
        reply[1] = neverEnd ? MoreData : NoData;
        return;
    }
    const int count = qMin(DataSize, static_cast<int>(_pending.size()));
    std::memcpy(reply + DataOffset, _pending.constData(), static_cast<size_t>(count));
    _pending.remove(0, count);
    // Zeros after the last record end the host's extraction; without them (a
    // full reply) the last record waits for the next reply.
    _needsTerminator = count == DataSize;
    const bool more = !_pending.isEmpty() || _needsTerminator;
    reply[1] = (neverEnd || (more && !endPass)) ? MoreData : PassEnd;
}

} // namespace tarvesk::sim
