#include "protocol/dali/dali_packet_factory.h"

namespace tarvesk::proto {

DaliPacket* DaliPacketFactory::fromData(const unsigned char* data, unsigned char size)
{
    return new DaliPacket(data, size);
}

DaliPacket* DaliPacketFactory::create()
{
    return new DaliPacket();
}

} // namespace tarvesk::proto
