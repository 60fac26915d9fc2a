#include "protocol/usb/usb_packet.h"

namespace tarvesk::proto {

UsbPacket::UsbPacket() = default;

UsbPacket::UsbPacket(const unsigned char* data, int size)
    : RawPacket(data, size)
{
    setPacketType(PACKET_TYPE_USB);
}

UsbPacket* UsbPacket::clone() const
{
    auto* copy = new UsbPacket(getData(), getDataSize());
    copy->copyFrom(this);
    return copy;
}

QString UsbPacket::getPacketTypeIdentString() const
{
    return QStringLiteral("USB");
}

} // namespace tarvesk::proto
