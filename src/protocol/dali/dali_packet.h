#pragma once

#include "protocol/dali/dali_command_table.h"
#include "protocol/raw_packet.h"

namespace tarvesk::proto {

// One DALI frame. The kind follows from the size: 2 or more bytes a forward
// frame (address byte, opcode or level), 1 byte a backward frame (the answer),
// 0 bytes no answer (a frame error when the flags are exactly 0x04).
//
// Opcodes of the device-type command sets only have a meaning after an ENABLE
// DEVICE TYPE frame. Each packet records the device type in force when it was
// captured; whoever sees the frames of one bus in order carries that state from
// frame to frame with checkDeviceType(), so threads and buses never share it.
class DaliPacket : public RawPacket
{
    Q_OBJECT

public:
    static constexpr unsigned char ENABLE_DEVICE_TYPE = DaliCommandTable::special("ENABLE DEVICE TYPE");

    DaliPacket();
    // A frame from bytes; an ENABLE DEVICE TYPE frame records its own device type.
    DaliPacket(const unsigned char* data, int size);

    void setCommand(unsigned char address, unsigned char opcode);
    unsigned char getByte0() const { return getUint8(0); }
    unsigned char getByte1() const { return getUint8(1); }

    bool isCommand() const override { return getDataSize() >= 2; }
    bool isAnswer() const { return getDataSize() == 1; }
    bool isTimeout() const { return getDataSize() == 0; }
    bool isError() const { return getDataSize() == 0 && getFlags() == PACKET_FLAG_FRAME_ERROR; }

    bool isArcPowerCommand() const { return isCommand() && (getByte0() & 0x01) == 0; }
    bool isSpecialCommand() const { return isCommand() && getByte0() >= 0xA0 && getByte0() <= 0xFC; }
    bool isBroadcastCommand() const { return isCommand() && getByte0() >= 0xFE; }
    bool isBroadcastUnaddressedCommand() const
    {
        return isCommand() && (getByte0() == 0xFD || getByte0() == 0xFF);
    }
    bool isGroupCommand() const { return isCommand() && (getByte0() & 0xE0) == 0x80; }
    bool isShortCommand() const { return isCommand() && getByte0() < 0x80; }
    bool isEnableDeviceType() const { return getDataSize() == 2 && getByte0() == ENABLE_DEVICE_TYPE; }
    // 0-63 for a short-address command, else 255.
    unsigned char getShortTarget() const;
    // 0-15 for a group command, else 255.
    unsigned char getGroupTarget() const;

    // The device type under which this frame's opcode is named.
    unsigned char getDeviceType() const { return _deviceType; }
    // Records the device type in force for this frame and returns the one in force
    // after it: an ENABLE DEVICE TYPE frame sets its own, any other frame keeps the
    // bus's current one.
    unsigned char checkDeviceType(unsigned char current);

    QString getPacketTypeIdentString() const override { return QStringLiteral("DALI"); }
    QString getPacketInformation(PacketLookupTables* lookupTables) override;
    DaliPacket* clone() const override;

private:
    unsigned char _deviceType = 0;
};

} // namespace tarvesk::proto
