#include "protocol/dmx/rdm_status_message.h"

#include "protocol/packet_bytes.h"

namespace tarvesk::proto {

RdmStatusMessage::RdmStatusMessage(const unsigned char* data, int size)
    : RawPacket(data, size)
{ }

RdmStatusMessage* RdmStatusMessage::fromData(const unsigned char* data, int size)
{
    if (data == nullptr || size < MessageSize)
        return nullptr;
    return new RdmStatusMessage(data, MessageSize);
}

quint16 RdmStatusMessage::getSubdeviceID() const
{
    return frameUint16(*this, 0);
}

quint8 RdmStatusMessage::getStatusTypeID() const
{
    return frameByte(*this, 2);
}

quint16 RdmStatusMessage::getStatusMessageID() const
{
    return frameUint16(*this, 3);
}

quint16 RdmStatusMessage::getDataValue1() const
{
    return frameUint16(*this, 5);
}

quint16 RdmStatusMessage::getDataValue2() const
{
    return frameUint16(*this, 7);
}

QString RdmStatusMessage::getStatusTypeString() const
{
    switch (getStatusTypeID()) {
    case 0x00:
        return QStringLiteral("NONE");
    case 0x01:
        return QStringLiteral("GET LAST MESSAGE");
    case 0x02:
        return QStringLiteral("ADVISORY");
    case 0x03:
        return QStringLiteral("WARNING");
    case 0x04:
        return QStringLiteral("ERROR");
    case 0x12:
        return QStringLiteral("ADVISORY CLEARED");
    case 0x13:
        return QStringLiteral("WARNING CLEARED");
    case 0x14:
        return QStringLiteral("ERROR CLEARED");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

QString RdmStatusMessage::getMessageText() const
{
    const quint16 value1 = getDataValue1();
    const quint16 value2 = getDataValue2();
    switch (getStatusMessageID()) {
    case 0x8000:
        return QStringLiteral("LED open %1 short %2").arg(value1).arg(value2);
    case 0x8001:
        return QStringLiteral("Over temp: act %1 dC").arg(value1);
    case 0x8003:
        return QStringLiteral("Vsup fail: act %1 V").arg(value1);
    case 0x8004:
        return QStringLiteral("Ext I/F: %1 %2").arg(value1).arg(value2);
    case 0x8005:
        return QStringLiteral("Comm fail: %1 %2").arg(value1).arg(value2);
    case 0x8006:
        switch (value2) {
        case 1:
            return QStringLiteral("Ping %1 UIDLSB: %2").arg(value2).arg(value1);
        case 2:
            return QStringLiteral("Ping %1 Max temp: %2").arg(value2).arg(value1);
        case 3:
            return QStringLiteral("Ping %1 Min volt: %2").arg(value2).arg(value1);
        default:
            return QStringLiteral("Ping %1 Undefined: %2").arg(value2).arg(value1);
        }
    case 0x8007:
        return QStringLiteral("Chain interrupted, required %1").arg(value1);
    default:
        return QStringLiteral("Status ID: %1 Val1: %2 Val2:%3")
            .arg(getStatusMessageID())
            .arg(value1)
            .arg(value2);
    }
}

RdmStatusMessage* RdmStatusMessage::clone() const
{
    auto* copy = new RdmStatusMessage(nullptr, 0);
    copy->copyFrom(this);
    return copy;
}

QString RdmStatusMessage::getPacketInformation(PacketLookupTables*)
{
    return getStatusTypeString() + QStringLiteral("\t%1\t").arg(getSubdeviceID()) + getMessageText();
}

} // namespace tarvesk::proto
