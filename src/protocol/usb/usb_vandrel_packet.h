#pragma once

#include "protocol/usb/usb_packet.h"

namespace tarvesk::proto {

// A Vandrel report: byte 0 holds the command number (bits 0-4) and, in a
// reply, the reply bit 0x80, the not-ready bit 0x20 and the unsupported bit
// 0x40; bytes 1-63 are the command data.
class UsbVandrelPacket : public UsbPacket
{
    Q_OBJECT

public:
    static constexpr quint8 CommandMask = 0x1F;
    static constexpr quint8 NotReadyBit = 0x20;
    static constexpr quint8 UnsupportedBit = 0x40;
    static constexpr quint8 ReplyBit = 0x80;

    enum Command : int {
        VD_CMD_DALI = 10,
        VD_CMD_POLL_MONITOR = 20 // fetch the next bytes of the monitor record stream
    };

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
