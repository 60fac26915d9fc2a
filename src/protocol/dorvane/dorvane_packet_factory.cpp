#include "protocol/dorvane/dorvane_packet_factory.h"

#include "protocol/dorvane/dorvane_packet.h"

namespace tarvesk::proto {

DorvanePacket* DorvanePacketFactory::fromData(const unsigned char* data, int size)
{
    return new DorvanePacket(data, size);
}

DorvanePacket* DorvanePacketFactory::create()
{
    return new DorvanePacket();
}

} // namespace tarvesk::proto
