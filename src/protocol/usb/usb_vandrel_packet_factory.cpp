#include "protocol/usb/usb_vandrel_packet_factory.h"

#include "protocol/dali/dali_packet.h"
#include "protocol/dali/dali_packet_factory.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/dmx/dmx_packet_factory.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/dorvane/dorvane_packet_factory.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_commands.h"

#include <QDebug>

#include <cstring>

namespace tarvesk::proto {

namespace {

constexpr int kMaxShortFrame = 255; // DALI and Dorvane frames are short

int recordLength(const unsigned char* header)
{
    return header[5] << 8 | header[6];
}

} // namespace

UsbVandrelPacketFactory::UsbVandrelPacketFactory(QObject* parent)
    : QObject(parent)
{ }

void UsbVandrelPacketFactory::handlePacket(const UsbVandrelPacket* reply)
{
    if (reply == nullptr || reply->getDataSize() < StreamOffset + StreamBytesPerReport)
        return;
    if (reply->getCommand() != vandrel::VD_CMD_POLL_MONITOR
        || reply->getData()[1] == vandrel::PollNoStreamData)
        return;
    if (appendDataToBuffer(reply->getData() + StreamOffset))
        handleBuffer();
}

bool UsbVandrelPacketFactory::appendDataToBuffer(const unsigned char* data)
{
    int skipped = 0;
    if (_skipRemaining > 0) {
        skipped = qMin(_skipRemaining, StreamBytesPerReport);
        _skipRemaining -= skipped;
    }
    const int count = StreamBytesPerReport - skipped;
    if (_fill + count > BufferSize) {
        dropBuffer(QStringLiteral("buffer full"));
        return false;
    }
    std::memcpy(_buffer + _fill, data + skipped, size_t(count));
    _fill += count;
    return true;
}

void UsbVandrelPacketFactory::handleBuffer()
{
    while (_fill > 0) {
        const quint8 type = _buffer[0];
        if (type == RECORD_END) {
            _fill = 0;
            return;
        }
        if (type > RECORD_RAW) {
            dropBuffer(QStringLiteral("record type %1").arg(type));
            return;
        }
        if (_fill < RecordHeaderSize + 1)
            return;
        const int length = recordLength(_buffer);
        if (length + RecordHeaderSize > BufferSize) {
            dropBuffer(QStringLiteral("record length %1").arg(length));
            return;
        }
        if (length > RawPacket::MaxDataSize) {
            qWarning() << QStringLiteral("USB monitor record of %1 bytes is longer than a packet; skipped")
                              .arg(length);
            const int total = length + RecordHeaderSize;
            const int buffered = qMin(_fill, total);
            consume(buffered);
            _skipRemaining = total - buffered;
            continue;
        }
        // A record is taken only when at least one byte beyond it has arrived.
        if (_fill - RecordHeaderSize <= length)
            return;
        if (RawPacket* packet = createPacketFromBuffer(quint16(length)))
            emit newPacket(packet);
        consume(length + RecordHeaderSize);
    }
}

RawPacket* UsbVandrelPacketFactory::createPacketFromBuffer(quint16 length)
{
    if (length > RawPacket::MaxDataSize || length + RecordHeaderSize > _fill)
        return nullptr;
    const unsigned char* payload = _buffer + RecordHeaderSize;
    RawPacket* packet = nullptr;
    switch (_buffer[0]) {
    case RECORD_DMX:
        // Everything seen on the DMX line is a DMX packet, also a record without
        // bytes (a time-out event, a frame error) and a frame whose first byte is
        // no start code of ours (an RDM discovery answer begins with 0xFE): a
        // sender waiting for its answer matches it by its type.
        packet = DmxPacketFactory::fromData(payload, length);
        if (packet == nullptr)
            packet = new DmxPacket(payload, length);
        break;
    case RECORD_DALI:
        if (length <= kMaxShortFrame) {
            DaliPacket* dali = DaliPacketFactory::fromData(payload, quint8(length));
            // The records of the DALI bus arrive here in bus order, so this is where
            // the device type enabled by one frame is carried to the frames after it.
            _daliDeviceType = dali->checkDeviceType(_daliDeviceType);
            packet = dali;
        }
        break;
    case RECORD_DORVANE:
        if (length <= kMaxShortFrame)
            packet = DorvanePacketFactory::fromData(payload, length);
        break;
    case RECORD_RAW:
        break;
    default:
        return nullptr;
    }
    // Frames no bus class can hold are kept whole as plain bytes.
    if (packet == nullptr) {
        packet = new RawPacket(payload, length);
        // A text record carries its message as bytes. Taking the text here keeps
        // the bytes as they came: describing the packet later must not change it.
        if (_buffer[2] == PACKET_FLAGS_TEXT_RECORD)
            packet->setLogText(QString::fromLocal8Bit(reinterpret_cast<const char*>(payload), length));
    }
    packet->setIndex(_buffer[1]);
    packet->setFlags(_buffer[2]);
    packet->setTimeSinceLast((_buffer[3] << 8 | _buffer[4]) * vandrel::TimeUnitMs);
    return packet;
}

void UsbVandrelPacketFactory::dropBuffer(const QString& reason)
{
    qWarning() << QStringLiteral(
        "USB monitor stream out of step (%1); dropping %2 buffered bytes to resynchronise")
                      .arg(reason)
                      .arg(_fill);
    _fill = 0;
    _skipRemaining = 0;
}

void UsbVandrelPacketFactory::consume(int count)
{
    count = qMin(count, _fill);
    std::memmove(_buffer, _buffer + count, size_t(_fill - count));
    _fill -= count;
}

} // namespace tarvesk::proto
