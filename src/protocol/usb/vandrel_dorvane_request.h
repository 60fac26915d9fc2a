#pragma once

#include <QString>

namespace tarvesk::proto {

class RawPacket;
class WystrelPacket;

// The Wystrel frame in which the box's Dorvane controller takes one Dorvane
// request: start code, READ (0x0D) for a request that reads or WRITE (0x0E),
// plus the sub-command bit for a Corvalt driver, two zero bytes, the request
// bytes and the checksum. The caller owns the frame; null for a request too
// long for one frame.
WystrelPacket* buildVandrelDorvaneFrame(const RawPacket& request, bool read, bool corvalt);

// The name of an error code of the box's Dorvane controller ("VDERR_...", or
// "Unknown errorcode: n").
QString vandrelDorvaneErrorName(int code);

} // namespace tarvesk::proto
