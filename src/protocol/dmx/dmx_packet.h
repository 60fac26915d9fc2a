#pragma once

#include "protocol/raw_packet.h"

namespace tarvesk::proto {

// One DMX512 frame: the start code in byte 0, then the slots. Also the base of
// the Wystrel and RDM frames that travel on a DMX line.
class DmxPacket : public RawPacket
{
    Q_OBJECT

public:
    static constexpr quint8 StartCode = 0x00;

    DmxPacket();
    DmxPacket(const unsigned char* data, int size);
    DmxPacket(const DmxPacket& other);
    DmxPacket& operator=(const DmxPacket& other) = default;

    // A new DmxPacket for a frame with start code 0x00, otherwise null with a warning.
    static DmxPacket* fromData(const unsigned char* data, int size);

    DmxPacket* clone() const override;
    QString getPacketTypeIdentString() const override;
    QString getPacketInformation(PacketLookupTables* lookupTables) override;
    void calcVariables(PacketLookupTables* lookupTables) override;
};

} // namespace tarvesk::proto
