#pragma once

#include <QObject>

namespace tarvesk::proto {

class RawPacket;
class UsbVandrelPacket;

// Reassembles the monitor record stream of a Vandrel interface into packets.
// Each poll reply carries the next 60 stream bytes in bytes 4..63; records
// follow each other without gaps, each a 7-byte header (type, index, flags,
// time since the previous record in the box's time units, payload length, the
// 16-bit fields big-endian) and its payload. A zero record type ends what the
// reply holds.
//
// The buffer is never written past its end and the stream never locks up: a
// record type other than 0..4 or a length that cannot fit the buffer drops the
// buffer with a resynchronisation warning, and a record whose payload exceeds
// a packet's buffer is skipped over (not copied) with a warning.
//
// A record of DMX type always becomes a DmxPacket (a Wystrel or RDM packet by
// its start code), also when it is empty or its start code is unknown.
//
// Runs on the monitor thread only; it has no lock.
class UsbVandrelPacketFactory : public QObject
{
    Q_OBJECT

public:
    static constexpr int BufferSize = 2048;
    static constexpr int RecordHeaderSize = 7;
    static constexpr int StreamOffset = 4;
    static constexpr int StreamBytesPerReport = 60;

    enum RecordType : quint8 {
        RECORD_END = 0,
        RECORD_DMX = 1,
        RECORD_DALI = 2,
        RECORD_DORVANE = 3,
        RECORD_RAW = 4
    };

    explicit UsbVandrelPacketFactory(QObject* parent = nullptr);

    // Takes the stream bytes of one poll reply and emits every record that is
    // now complete. Replies that are not full poll replies with stream data
    // are ignored.
    void handlePacket(const UsbVandrelPacket* reply);
    // Emits every complete record already buffered.
    void handleBuffer();
    // Appends 60 stream bytes; false (buffer dropped, warning) if they cannot fit.
    bool appendDataToBuffer(const unsigned char* data);
    // The packet of the complete record at the start of the buffer (caller owns),
    // or null for an unknown record type or a record that is not all buffered.
    RawPacket* createPacketFromBuffer(quint16 length);

    int bufferedBytes() const { return _fill; }

signals:
    // One packet per record; the receiver takes ownership.
    void newPacket(tarvesk::proto::RawPacket* packet);

private:
    void dropBuffer(const QString& reason);
    void consume(int count);

    unsigned char _buffer[BufferSize] = {};
    int _fill = 0;
    int _skipRemaining = 0;     // bytes still to pass over of a record too long to keep
    quint8 _daliDeviceType = 0; // DALI device type in force on the monitored DALI bus
};

} // namespace tarvesk::proto
