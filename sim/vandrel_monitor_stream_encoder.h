#pragma once

#include "protocol/usb/vandrel_commands.h"

#include <QByteArray>
#include <QVector>

namespace tarvesk::sim {

// One record of the Vandrel monitor stream as the interface writes it.
struct MonitorRecord
{
    quint8 type = 0;       // a record type of proto::UsbVandrelPacketFactory
    quint8 index = 0;      // sequence number, becomes the packet's index
    quint8 flags = 0;      // status bits, become the packet's flags
    quint16 timeUnits = 0; // time since the previous record in the box's time units
    QByteArray payload;    // the bus frame
};

// Turns monitor records into the 64-byte poll replies that the interface hands
// out, the way the interface does: records follow each other without gaps,
// each reply carries the next 60 stream bytes in bytes 4..63, and the stream is
// closed by a zero record type so that the host takes the last record (the host
// takes a record only when at least one byte beyond it has arrived). Byte 1 of
// a reply says that more stream bytes follow, that this is the last reply of a
// burst, or that the reply carries no stream bytes at all.
class VandrelMonitorStreamEncoder
{
public:
    static constexpr int ReportSize = 64;
    static constexpr int StreamBytesPerReport = 60;
    static constexpr int RecordHeaderSize = 7;
    static constexpr quint8 PollReplyCommandByte
        = proto::vandrel::ReplyBit | proto::vandrel::VD_CMD_POLL_MONITOR;
    // Byte 1 of the last reply of a burst: any value but "more data" ends the host's pass.
    static constexpr quint8 LastOfBurst = 1;

    // The header and payload of one record. The length field holds the payload
    // size, or lengthOverride when it is 0 or more (for corrupt streams).
    static QByteArray encodeRecord(const MonitorRecord& record, int lengthOverride = -1);

    void enqueue(const MonitorRecord& record);
    // Raw stream bytes, for streams that no well-behaved interface would send.
    void enqueueRaw(const QByteArray& streamBytes);
    bool hasPendingReplies() const { return !_pending.isEmpty() || _needsTerminator; }
    // The next poll reply: stream data while there is some, otherwise a reply
    // without stream data (byte 1 = 3).
    QByteArray nextReply();

    // All the replies that carry the given records, in order.
    static QVector<QByteArray> encode(const QVector<MonitorRecord>& records);
    static QByteArray emptyReply();

private:
    QByteArray _pending;
    bool _needsTerminator = false;
};

} // namespace tarvesk::sim
