#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFlags>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

namespace tarvesk::proto {

class PacketLookupTable;

// The bus a packet belongs to. Wystrel and RDM frames travel on DMX; there is no 4.
enum RawPacketType : int {
    PACKET_TYPE_NOT_SET = 0,
    PACKET_TYPE_DMX = 1,
    PACKET_TYPE_DALI = 2,
    PACKET_TYPE_DORVANE = 3,
    PACKET_TYPE_USB = 5
};

// Status bits of a packet; the monitor record's flags byte lands here unchanged.
enum PacketFlag : quint8 {
    PACKET_FLAG_FRAME_ERROR = 0x04,
    PACKET_FLAG_TIMEOUT_EVENT = 0x08,
    PACKET_FLAG_NOT_HANDLED_BY_MODULE = 0x10
};

// Whole flag values with a meaning of their own.
constexpr quint8 PACKET_FLAGS_USB_RESTART = 3; // the interface restarted
constexpr quint8 PACKET_FLAGS_TEXT_RECORD = 5; // the data bytes are a message text

// Answer checks that answer_isValid may skip.
enum PacketCheckIgnoreFlag : int {
    CHECK_IGNORE_NONE = 0x00,
    CHECK_IGNORE_LENGTH = 0x01,
    CHECK_IGNORE_CHECKSUM = 0x02,
    CHECK_IGNORE_DIRECTION = 0x04,
    CHECK_IGNORE_STARTCODE = 0x08
};
Q_DECLARE_FLAGS(PacketCheckIgnore, PacketCheckIgnoreFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(PacketCheckIgnore)

using PacketLookupTables = QHash<QString, PacketLookupTable*>;

// One frame on any bus (or one text line of a packet log): up to 1024 bytes plus
// the bookkeeping the monitor, the senders and the log need. Every writer into
// the buffer checks the bound: a write that would pass it is refused with
// ITF_ERR_OVERFLOW and a warning, and nothing is written.
class RawPacket : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int index READ getIndex WRITE setIndex)

public:
    static constexpr int MaxDataSize = 1024;

    RawPacket();
    // Refuses (empty packet, warning) a size outside 0..1024 or a null pointer with a size.
    RawPacket(const unsigned char* data, int size);
    explicit RawPacket(const QString& text); // a text entry of a packet log
    explicit RawPacket(const QByteArray& bytes);
    // Copies everything but the time since last; the sub-packet is cloned and the
    // source's attributes are merged in.
    RawPacket(const RawPacket& other);
    // As the copy constructor, except that the log text is kept.
    RawPacket& operator=(const RawPacket& other);
    ~RawPacket() override;

    // Copies bytes and bookkeeping but not the attributes; ORs the flags in.
    virtual void copyFrom(const RawPacket* other);
    // A new packet of the same class and content, owned by the caller.
    virtual RawPacket* clone() const;
    virtual QString getColumnString(int column) const;
    virtual QString getPacketTypeIdentString() const;
    virtual QString getPacketInformation(PacketLookupTables* lookupTables);
    virtual bool isCommand() const;
    virtual void calcVariables(PacketLookupTables* lookupTables);
    // 0 for a valid answer, otherwise a negative bus status code.
    virtual int answer_isValid(PacketCheckIgnore ignore) const;
    virtual void debugPrint(PacketLookupTables* lookupTables = nullptr);

    // Copies size bytes in, sets the size, clears the time since last; 0 or ITF_ERR_OVERFLOW.
    int initFromData(const unsigned char* data, int size);
    static RawPacket* fromData(const unsigned char* data, int size);

    unsigned char* getData() { return _data; }
    const unsigned char* getData() const { return _data; }
    quint16 getDataSize() const { return _dataSize; }
    int resize(int size);
    void clear() { _dataSize = 0; }

    // Writers: 0 on success, ITF_ERR_OVERFLOW (nothing written) when the write would
    // leave the buffer or an offset is negative.
    int setByte(int offset, unsigned char value);
    int appendByte(unsigned char value);
    int append(const QByteArray& bytes);
    int appendData(int offset, const RawPacket* other);
    int appendData(int offset, const unsigned char* bytes, int length);
    int appendDataSubset(int offset, const RawPacket* other, int from, int length);
    // Grows the size to i + 1 when needed. An index outside the buffer is refused
    // with a warning and yields a scratch byte that is not part of the packet.
    unsigned char& operator[](int i);
    // Reading outside the buffer gives 0.
    unsigned char operator[](int i) const { return getUint8(i); }

    // Big-endian readers; bytes outside the buffer read as 0.
    quint8 getUint8(int i) const;
    quint16 getUint16(int i) const;
    qint16 getInt16(int i) const;
    quint32 getUint32(int i) const;

    QList<int> getByteList() const;
    QByteArray getRawDataString() const;
    bool checkMask(int offset, unsigned char mask) const;
    bool isEqual(const RawPacket* other) const;
    bool operator==(const RawPacket& other) const;
    bool operator!=(const RawPacket& other) const { return !(*this == other); }

    void setPacketType(RawPacketType type) { _packetType = type; }
    RawPacketType getPacketType() const { return _packetType; }
    void setCreationTime(qint64 msecsSinceEpoch) { _creationTime = msecsSinceEpoch; }
    qint64 getCreationTime() const { return _creationTime; }
    QDateTime getTimeStamp() const { return QDateTime::fromMSecsSinceEpoch(_creationTime); }
    void setIndex(int index) { _index = static_cast<quint8>(index); }
    int getIndex() const { return _index; }
    void setTimeSinceLast(double ms) { _timeSinceLast = ms; }
    double getTimeSinceLast() const { return _timeSinceLast; }
    void setFlags(quint8 flags) { _flags |= flags; } // ORs the bits in
    quint8 getFlags() const { return _flags; }
    bool isFrameError() const { return (_flags & PACKET_FLAG_FRAME_ERROR) != 0; }
    bool isTimeoutEvent() const
    {
        return (_flags & (PACKET_FLAG_TIMEOUT_EVENT | PACKET_FLAG_NOT_HANDLED_BY_MODULE)) != 0;
    }
    bool isNotHandledByModule() const { return (_flags & PACKET_FLAG_NOT_HANDLED_BY_MODULE) != 0; }
    void setRetryAttempt(int attempt) { _retryAttempt = attempt; }
    int getRetryAttempt() const { return _retryAttempt; }
    void setLogText(const QString& text) { _logText = text; }
    const QString& getLogText() const { return _logText; }
    RawPacket* getSubPacket() const { return _subPacket.get(); }
    // Takes ownership; replaces (and deletes) an earlier sub-packet.
    void setSubPacket(RawPacket* packet);

    void addAttribute(const QString& name, const QVariant& value) { _attributes.insert(name, value); }
    bool hasAttribute(const QString& name) const { return _attributes.contains(name); }
    // An absent name gives an invalid value; the map is left as it was.
    QVariant getAttribute(const QString& name) const { return _attributes.value(name); }
    QMap<QString, QVariant>::const_iterator attributeBegin() const { return _attributes.constBegin(); }
    QMap<QString, QVariant>::const_iterator attributeEnd() const { return _attributes.constEnd(); }

    QString getHexString() const;
    // 0 on success (size = number of byte pairs), 1 on failure with a warning.
    int fromHexString(const QString& text);
    QString getPacketString(int from, int count) const;
    QString getTimeStampString() const;
    QString getInfoString() const;

protected:
    // Logs the refusal of a write that would leave the buffer.
    static int refuseWrite(const char* what, int offset, int length);

private:
    void copyFields(const RawPacket& other, bool withLogText);

    RawPacketType _packetType = PACKET_TYPE_NOT_SET;
    // Milliseconds since the epoch: taking the time must not touch the time zone
    // (packets are made on the monitor thread at a high rate).
    qint64 _creationTime = 0;
    unsigned char _data[MaxDataSize] = {};
    quint16 _dataSize = 0;
    quint8 _index = 0;
    double _timeSinceLast = 0.0;
    quint8 _flags = 0;
    QMap<QString, QVariant> _attributes;
    std::unique_ptr<RawPacket> _subPacket;
    int _retryAttempt = 0;
    QString _logText;
    unsigned char _scratch = 0; // target of refused operator[] writes
};

} // namespace tarvesk::proto
