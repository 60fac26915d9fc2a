#pragma once

#include "protocol/dali/dali_packet.h"

namespace tarvesk::proto {

// Makes DALI packets for callers that hold raw frame bytes.
class DaliPacketFactory
{
public:
    // A new packet from up to 255 bytes, owned by the caller.
    static DaliPacket* fromData(const unsigned char* data, unsigned char size);
    // A new empty packet, owned by the caller.
    static DaliPacket* create();
};

} // namespace tarvesk::proto
