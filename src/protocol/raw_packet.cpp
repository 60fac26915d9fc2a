#include "protocol/raw_packet.h"

#include "core/itf_error.h"

#include <QDebug>
#include <QLocale>

#include <cstring>

namespace tarvesk::proto {

namespace {

bool fitsBuffer(int offset, int length)
{
    return offset >= 0 && length >= 0 && offset <= RawPacket::MaxDataSize - length;
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

RawPacket::RawPacket()
    : _creationTime(QDateTime::currentMSecsSinceEpoch())
{ }

RawPacket::RawPacket(const unsigned char* data, int size)
    : RawPacket()
{
    initFromData(data, size);
}

RawPacket::RawPacket(const QString& text)
    : RawPacket()
{
    _logText = text;
}

RawPacket::RawPacket(const QByteArray& bytes)
    : RawPacket(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size())
{ }

RawPacket::RawPacket(const RawPacket& other)
    : QObject()
{
    copyFields(other, true);
}

RawPacket& RawPacket::operator=(const RawPacket& other)
{
    if (this != &other)
        copyFields(other, false);
    return *this;
}

RawPacket::~RawPacket() = default;

void RawPacket::copyFields(const RawPacket& other, bool withLogText)
{
    _packetType = other._packetType;
    _creationTime = other._creationTime;
    _index = other._index;
    _flags = other._flags;
    _retryAttempt = other._retryAttempt;
    if (withLogText)
        _logText = other._logText;
    std::memcpy(_data, other._data, other._dataSize);
    _dataSize = other._dataSize;
    _subPacket.reset(other._subPacket ? other._subPacket->clone() : nullptr);
    for (auto it = other._attributes.constBegin(); it != other._attributes.constEnd(); ++it)
        _attributes.insert(it.key(), it.value());
    _timeSinceLast = 0.0;
}

void RawPacket::copyFrom(const RawPacket* other)
{
    if (!other || other == this)
        return;
    std::memcpy(_data, other->_data, other->_dataSize);
    _dataSize = other->_dataSize;
    _packetType = other->_packetType;
    setCreationTime(other->getCreationTime());
    _index = other->_index;
    _logText = other->_logText;
    _timeSinceLast = other->_timeSinceLast;
    _retryAttempt = other->_retryAttempt;
    _flags |= other->_flags;
    if (other->_subPacket)
        _subPacket.reset(other->_subPacket->clone());
}

RawPacket* RawPacket::clone() const
{
    auto* packet = new RawPacket();
    packet->copyFrom(this);
    return packet;
}

QString RawPacket::getColumnString(int) const
{
    return QString();
}

QString RawPacket::getPacketTypeIdentString() const
{
    return _logText.isEmpty() ? QStringLiteral("????") : QStringLiteral("LOG ");
}

QString RawPacket::getPacketInformation(PacketLookupTables*)
{
    if (_logText.isEmpty() && _flags == PACKET_FLAGS_TEXT_RECORD) {
        // The bytes stay: describing a packet must not change what the log holds.
        _logText = QString::fromLocal8Bit(reinterpret_cast<const char*>(_data), _dataSize);
    } else if (_logText.isEmpty() && _flags == PACKET_FLAGS_USB_RESTART) {
        _logText = QStringLiteral("USB restart");
    }
    return _logText;
}

bool RawPacket::isCommand() const
{
    return true;
}

void RawPacket::calcVariables(PacketLookupTables*)
{
    addAttribute(QStringLiteral("flags"), static_cast<int>(_flags));
    addAttribute(QStringLiteral("timestamp"), getTimeStampString());
    addAttribute(QStringLiteral("time_since_last"), _timeSinceLast);
    addAttribute(QStringLiteral("retry_attempt"), _retryAttempt);
    addAttribute(QStringLiteral("index"), static_cast<int>(_index));
}

int RawPacket::answer_isValid(PacketCheckIgnore) const
{
    return core::ITF_OK;
}

void RawPacket::debugPrint(PacketLookupTables*) { }

int RawPacket::refuseWrite(const char* what, int offset, int length)
{
    qWarning().noquote() << QStringLiteral(
        "Packet %1 refused: %2 byte(s) at offset %3 do not fit the %4-byte buffer")
                                .arg(QLatin1String(what))
                                .arg(length)
                                .arg(offset)
                                .arg(MaxDataSize);
    return core::ITF_ERR_OVERFLOW;
}

int RawPacket::initFromData(const unsigned char* data, int size)
{
    if (!fitsBuffer(0, size) || (!data && size > 0))
        return refuseWrite("initFromData", 0, size);
    if (size > 0)
        std::memcpy(_data, data, static_cast<size_t>(size));
    _dataSize = static_cast<quint16>(size);
    _timeSinceLast = 0.0;
    return core::ITF_OK;
}

RawPacket* RawPacket::fromData(const unsigned char* data, int size)
{
    return new RawPacket(data, size);
}

int RawPacket::resize(int size)
{
    if (!fitsBuffer(0, size))
        return refuseWrite("resize", 0, size);
    _dataSize = static_cast<quint16>(size);
    return core::ITF_OK;
}

int RawPacket::setByte(int offset, unsigned char value)
{
    if (!fitsBuffer(offset, 1))
        return refuseWrite("setByte", offset, 1);
    _data[offset] = value;
    if (offset >= _dataSize)
        _dataSize = static_cast<quint16>(offset + 1);
    return core::ITF_OK;
}

int RawPacket::appendByte(unsigned char value)
{
    return setByte(_dataSize, value);
}

int RawPacket::append(const QByteArray& bytes)
{
    return appendData(_dataSize, reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
}

int RawPacket::appendData(int offset, const RawPacket* other)
{
    if (!other)
        return refuseWrite("appendData", offset, 0);
    return appendDataSubset(offset, other, 0, other->_dataSize);
}

int RawPacket::appendData(int offset, const unsigned char* bytes, int length)
{
    if (!fitsBuffer(offset, length) || (!bytes && length > 0))
        return refuseWrite("appendData", offset, length);
    if (length > 0)
        std::memmove(_data + offset, bytes, static_cast<size_t>(length));
    if (offset + length > _dataSize)
        _dataSize = static_cast<quint16>(offset + length);
    return core::ITF_OK;
}

int RawPacket::appendDataSubset(int offset, const RawPacket* other, int from, int length)
{
    if (!other || from < 0 || length < 0 || from > other->_dataSize - length)
        return refuseWrite("appendDataSubset (source range)", from, length);
    return appendData(offset, other->_data + from, length);
}

unsigned char& RawPacket::operator[](int i)
{
    if (!fitsBuffer(i, 1)) {
        refuseWrite("operator[]", i, 1);
        _scratch = 0;
        return _scratch;
    }
    if (i >= _dataSize)
        _dataSize = static_cast<quint16>(i + 1);
    return _data[i];
}

quint8 RawPacket::getUint8(int i) const
{
    return fitsBuffer(i, 1) ? _data[i] : 0;
}

quint16 RawPacket::getUint16(int i) const
{
    return static_cast<quint16>(getUint8(i) << 8 | getUint8(i + 1));
}

qint16 RawPacket::getInt16(int i) const
{
    return static_cast<qint16>(getUint16(i));
}

quint32 RawPacket::getUint32(int i) const
{
    return static_cast<quint32>(getUint16(i)) << 16 | getUint16(i + 2);
}

QList<int> RawPacket::getByteList() const
{
    QList<int> bytes;
    bytes.reserve(_dataSize);
    for (int i = 0; i < _dataSize; ++i)
        bytes.append(_data[i]);
    return bytes;
}

QByteArray RawPacket::getRawDataString() const
{
    return QByteArray(reinterpret_cast<const char*>(_data), _dataSize);
}

bool RawPacket::checkMask(int offset, unsigned char mask) const
{
    return (getUint8(offset) & mask) == mask;
}

bool RawPacket::isEqual(const RawPacket* other) const
{
    return other && other->_dataSize == _dataSize && std::memcmp(other->_data, _data, _dataSize) == 0;
}

bool RawPacket::operator==(const RawPacket& other) const
{
    return _packetType == other._packetType && isEqual(&other);
}

void RawPacket::setSubPacket(RawPacket* packet)
{
    if (packet != _subPacket.get())
        _subPacket.reset(packet);
}

QString RawPacket::getHexString() const
{
    return QString::fromLatin1(getRawDataString().toHex().toUpper());
}

int RawPacket::fromHexString(const QString& text)
{
    if (text.size() < 2 || text.size() % 2 != 0) {
        qWarning().noquote() << QStringLiteral("Error parsing input packet: %1").arg(text);
        return 1;
    }
    const int pairs = text.size() / 2;
    if (pairs > MaxDataSize) {
        refuseWrite("fromHexString", 0, pairs);
        qWarning().noquote() << QStringLiteral("Error parsing input packet: %1").arg(text.left(64) + "...");
        return 1;
    }
    // Validate the whole text first so that a failed parse leaves the packet untouched.
    for (const QChar c : text) {
        if (hexDigit(c) < 0) {
            qWarning().noquote() << QStringLiteral("Error parsing input packet: %1").arg(text);
            return 1;
        }
    }
    for (int i = 0; i < pairs; ++i)
        _data[i] = static_cast<unsigned char>(hexDigit(text.at(2 * i)) << 4 | hexDigit(text.at(2 * i + 1)));
    _dataSize = static_cast<quint16>(pairs);
    return 0;
}

QString RawPacket::getPacketString(int from, int count) const
{
    if (from < 0 || count <= 0 || from >= _dataSize)
        return QString();
    const int n = qMin(count, _dataSize - from);
    QString text;
    text.reserve(3 * n);
    for (int i = from; i < from + n; ++i)
        text += QStringLiteral("%1 ").arg(_data[i], 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString RawPacket::getTimeStampString() const
{
    return getTimeStamp().toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString RawPacket::getInfoString() const
{
    return QStringLiteral("(i=%1, t=%2, l=%3)")
        .arg(static_cast<int>(_index), 3)
        .arg(_timeSinceLast, 6, 'g', QLocale::FloatingPointShortest)
        .arg(static_cast<int>(_dataSize), 3);
}

} // namespace tarvesk::proto
