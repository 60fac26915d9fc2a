#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarvesk::sim {

// The monitor record stream of a Vandrel box as the host fetches it: records of
// a 7-byte header (type, index, flags, time since the previous record in
// 0.104 ms ticks, payload length, both big-endian) and the payload, cut into
// the 60-byte data fields of the poll replies (command 0x14).
class SimMonitorStream
{
public:
    enum RecordType : quint8 { RecordDmx = 1, RecordDali = 2, RecordDorvane = 3, RecordRaw = 4 };

    static constexpr int ReportSize = 64;
    static constexpr int DataOffset = 4;
    static constexpr int DataSize = ReportSize - DataOffset;
    static constexpr quint8 PollCommand = 0x14;
    // Byte 1 of a poll reply.
    static constexpr quint8 MoreData = 0; // the host polls again at once
    static constexpr quint8 PassEnd = 1;
    static constexpr quint8 NoData = 3;

    static QByteArray encodeRecord(
        quint8 type, quint8 index, quint8 flags, quint16 timeTicks, const QByteArray& payload);

    void append(const QByteArray& encodedRecords) { _pending.append(encodedRecords); }
    int pendingBytes() const { return _pending.size(); }
    bool isEmpty() const { return _pending.isEmpty() && !_needsTerminator; }

    // Fills a whole poll reply. A record is taken by the host only once a byte
    // beyond it has arrived, so a stream that ends exactly on a reply boundary
    // is followed by one reply of zeros (byte 1 = PassEnd) that closes it.
    // `endPass` forces byte 1 = PassEnd, `neverEnd` forces MoreData.
    void fillPollReply(unsigned char* reply, bool endPass = false, bool neverEnd = false);

private:
    QByteArray _pending;
    bool _needsTerminator = false;
};

} // namespace tarvesk::sim
