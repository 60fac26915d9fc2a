#include "protocol/dali/dali_packet.h"

#include "protocol/dali/dali_lookup_table.h"

namespace tarvesk::proto {

DaliPacket::DaliPacket()
{
    setPacketType(PACKET_TYPE_DALI);
}

DaliPacket::DaliPacket(const unsigned char* data, int size)
    : RawPacket(data, size)
{
    setPacketType(PACKET_TYPE_DALI);
    if (isEnableDeviceType())
        _deviceType = getByte1();
}

void DaliPacket::setCommand(unsigned char address, unsigned char opcode)
{
    resize(0);
    appendByte(address);
    appendByte(opcode);
}

unsigned char DaliPacket::getShortTarget() const
{
    return isShortCommand() ? static_cast<unsigned char>(getByte0() >> 1) : 255;
}

unsigned char DaliPacket::getGroupTarget() const
{
    return isGroupCommand() ? static_cast<unsigned char>((getByte0() >> 1) & 0x1F) : 255;
}

unsigned char DaliPacket::checkDeviceType(unsigned char current)
{
    _deviceType = isEnableDeviceType() ? getByte1() : current;
    return _deviceType;
}

DaliPacket* DaliPacket::clone() const
{
    auto* packet = new DaliPacket(getData(), getDataSize());
    packet->copyFrom(this);
    packet->_deviceType = _deviceType;
    return packet;
}

QString DaliPacket::getPacketInformation(PacketLookupTables* lookupTables)
{
    switch (getFlags()) {
    case 1:
        return QStringLiteral("DALI connect");
    case 2:
        return QStringLiteral("DALI disconnect");
    case PACKET_FLAG_FRAME_ERROR:
        return QStringLiteral("Frame error");
    default:
        break;
    }
    // Answers, time-outs and empty frames have no command to describe.
    if (!isCommand() || isTimeoutEvent())
        return QString();

    const DaliLookupTable* table = nullptr;
    if (lookupTables)
        table = qobject_cast<const DaliLookupTable*>(lookupTables->value(QStringLiteral("DALI")));

    const unsigned char byte0 = getByte0();
    if (isSpecialCommand()) {
        QString text = QStringLiteral("SPECIAL : ");
        if (table)
            text += table->getSpecialCommandName(byte0);
        return text;
    }

    QString text;
    if (byte0 >= 0xFE)
        text = QStringLiteral("BROADCAST : ");
    else if (byte0 == 0xFD)
        text = QStringLiteral("BC UNADDR : ");
    else if (isGroupCommand())
        text = QStringLiteral("GROUP%1 : ").arg(static_cast<int>(getGroupTarget()), 10);
    else
        text = QStringLiteral("SHORT%1 : ").arg(static_cast<int>(getShortTarget()), 10);

    if (isArcPowerCommand())
        text += QStringLiteral("ARC POWER(%1)").arg(static_cast<int>(getByte1()));
    else if (table)
        text += table->getCommandName(getByte1(), _deviceType);
    return text;
}

} // namespace tarvesk::proto
