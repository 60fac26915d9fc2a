#include "protocol/dmx/dmx_packet.h"

#include "protocol/packet_bytes.h"

#include <QDebug>

namespace tarvesk::proto {

DmxPacket::DmxPacket()
{
    setPacketType(PACKET_TYPE_DMX);
}

DmxPacket::DmxPacket(const unsigned char* data, int size)
    : RawPacket(data, size)
{
    setPacketType(PACKET_TYPE_DMX);
}

DmxPacket::DmxPacket(const DmxPacket& other)
    : RawPacket(other)
{ }

DmxPacket* DmxPacket::fromData(const unsigned char* data, int size)
{
    if (data == nullptr || size <= 0 || data[0] != StartCode) {
        qWarning() << "Trying to copy a DMX packet with a startcode other than 0x00";
        return nullptr;
    }
    return new DmxPacket(data, size);
}

DmxPacket* DmxPacket::clone() const
{
    return new DmxPacket(*this);
}

QString DmxPacket::getPacketTypeIdentString() const
{
    return QStringLiteral("DMX");
}

QString DmxPacket::getPacketInformation(PacketLookupTables*)
{
    return QString();
}

void DmxPacket::calcVariables(PacketLookupTables* lookupTables)
{
    RawPacket::calcVariables(lookupTables);
    addAttribute(QStringLiteral("dmx_startcode"), int(frameByte(*this, 0)));
}

} // namespace tarvesk::proto
