#include "vandrel_monitor_stream_encoder.h"

namespace tarvesk::sim {

QByteArray VandrelMonitorStreamEncoder::encodeRecord(const MonitorRecord& record, int lengthOverride)
{
    const int length = lengthOverride >= 0 ? lengthOverride : record.payload.size();
    QByteArray bytes;
    bytes.reserve(RecordHeaderSize + record.payload.size());
    bytes.append(char(record.type));
    bytes.append(char(record.index));
    bytes.append(char(record.flags));
    bytes.append(char(record.timeUnits >> 8));
    bytes.append(char(record.timeUnits & 0xFF));
    bytes.append(char((length >> 8) & 0xFF));
    bytes.append(char(length & 0xFF));
    bytes.append(record.payload);
    return bytes;
}

void VandrelMonitorStreamEncoder::enqueue(const MonitorRecord& record)
{
    _pending.append(encodeRecord(record));
    _needsTerminator = false;
}

void VandrelMonitorStreamEncoder::enqueueRaw(const QByteArray& streamBytes)
{
    _pending.append(streamBytes);
    _needsTerminator = false;
}

QByteArray VandrelMonitorStreamEncoder::emptyReply()
{
    QByteArray reply(ReportSize, '\0');
    reply[0] = char(PollReplyCommandByte);
    reply[1] = char(proto::vandrel::PollNoStreamData);
    return reply;
}

QByteArray VandrelMonitorStreamEncoder::nextReply()
{
    if (!hasPendingReplies())
        return emptyReply();

    QByteArray reply(ReportSize, '\0');
    reply[0] = char(PollReplyCommandByte);
    const int taken = qMin(int(_pending.size()), StreamBytesPerReport);
    for (int i = 0; i < taken; ++i)
        reply[4 + i] = _pending.at(i);
    _pending.remove(0, taken);

    if (!_pending.isEmpty()) {
        reply[1] = char(proto::vandrel::PollMoreData);
    } else if (taken == StreamBytesPerReport) {
        // The stream ended exactly on the reply boundary: one more reply whose
        // first byte is the zero record type lets the host take the last record.
        _needsTerminator = true;
        reply[1] = char(proto::vandrel::PollMoreData);
    } else {
        // The zero padding after the stream bytes is the closing zero record type.
        _needsTerminator = false;
        reply[1] = char(LastOfBurst);
    }
    return reply;
}

QVector<QByteArray> VandrelMonitorStreamEncoder::encode(const QVector<MonitorRecord>& records)
{
    VandrelMonitorStreamEncoder encoder;
    for (const MonitorRecord& record : records)
        encoder.enqueue(record);
    QVector<QByteArray> replies;
    while (encoder.hasPendingReplies())
        replies.append(encoder.nextReply());
    return replies;
}

} // namespace tarvesk::sim
