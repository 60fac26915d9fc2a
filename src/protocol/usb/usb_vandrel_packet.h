#pragma once

#include "protocol/usb/usb_packet.h"
#include "protocol/usb/vandrel_commands.h"

namespace tarvesk::proto {

// A Vandrel report: byte 0 holds the command number (bits 0-4) and, in a
// reply, the reply, not-ready and unsupported bits; bytes 1-63 are the command
// data.
class UsbVandrelPacket : public UsbPacket
{
    Q_OBJECT

public:
    UsbVandrelPacket();
    UsbVandrelPacket(const unsigned char* data, int size);

    bool isReply() const;
    bool isNotReady() const;
    bool isUnsupported() const;
    int getCommand() const;
    // "Ans: " or "Cmd: ", the command's name and the reply's error texts.
    QString getPacketLogString() const;

    UsbVandrelPacket* clone() const override;
};

} // namespace tarvesk::proto
