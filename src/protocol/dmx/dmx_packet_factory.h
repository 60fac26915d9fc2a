#pragma once

#include <QString>

namespace tarvesk::proto {

class DmxPacket;

// Picks the packet class of a frame seen on a DMX line by its start code:
// 0x00 DMX, 0xD0/0xD1 Wystrel, 0xCC RDM; null for any other start code.
class DmxPacketFactory
{
public:
    // The caller owns the result. Frames are taken whole, whatever their length.
    static DmxPacket* fromData(const unsigned char* data, int size);
    // Null for text that is not hex or a frame with an unknown start code.
    static DmxPacket* fromHexString(const QString& text);
};

} // namespace tarvesk::proto
