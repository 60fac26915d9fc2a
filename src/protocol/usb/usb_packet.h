#pragma once

#include "protocol/raw_packet.h"

namespace tarvesk::proto {

// One 64-byte report exchanged with the Vandrel USB programming interface.
class UsbPacket : public RawPacket
{
    Q_OBJECT

public:
    static constexpr int ReportSize = 64;

    UsbPacket();
    UsbPacket(const unsigned char* data, int size);

    UsbPacket* clone() const override;
    QString getPacketTypeIdentString() const override;
};

} // namespace tarvesk::proto
