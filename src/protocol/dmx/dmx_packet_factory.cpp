#include "protocol/dmx/dmx_packet_factory.h"

#include "protocol/dmx/dmx_packet.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

namespace tarvesk::proto {

DmxPacket* DmxPacketFactory::fromData(const unsigned char* data, int size)
{
    if (data == nullptr || size <= 0 || size > RawPacket::MaxDataSize)
        return nullptr;
    switch (data[0]) {
    case WystrelPacket::StartCode:
    case WystrelPacket::AltStartCode:
        return new WystrelPacket(data, size);
    case DmxPacket::StartCode:
        return new DmxPacket(data, size);
    case RdmPacket::StartCode:
        return new RdmPacket(data, size);
    default:
        return nullptr;
    }
}

DmxPacket* DmxPacketFactory::fromHexString(const QString& text)
{
    DmxPacket parsed;
    if (parsed.fromHexString(text) != 0)
        return nullptr;
    return fromData(parsed.getData(), parsed.getDataSize());
}

} // namespace tarvesk::proto
