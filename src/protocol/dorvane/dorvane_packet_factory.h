#pragma once

namespace tarvesk::proto {

class DorvanePacket;

// Makes Dorvane packets of frames seen on the bus.
class DorvanePacketFactory
{
public:
    // A new packet of the received bytes (type "Dorvane"), owned by the caller.
    static DorvanePacket* fromData(const unsigned char* data, int size);
    static DorvanePacket* create();
};

} // namespace tarvesk::proto
