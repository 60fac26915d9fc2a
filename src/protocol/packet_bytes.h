#pragma once

#include "protocol/raw_packet.h"

namespace tarvesk::proto {

// A frame byte that reads as 0 past the frame's size, so that describing or
// decoding a short frame never picks up bytes left over from an earlier use.
inline quint8 frameByte(const RawPacket& packet, int i)
{
    return i >= 0 && i < packet.getDataSize() ? packet.getData()[i] : 0;
}

inline quint16 frameUint16(const RawPacket& packet, int i)
{
    return quint16(frameByte(packet, i) << 8 | frameByte(packet, i + 1));
}

} // namespace tarvesk::proto
