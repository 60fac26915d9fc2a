#pragma once

#include "protocol/raw_packet.h"

namespace tarvesk::proto {

class DaliPacket;

// One request or answer of the Dorvane driver protocol: the bridge frames that
// reach a driver's DALI, scaling, setpoint and parameter functions (0x10, control
// byte, two data bytes; without the leading 0x10 when converted back from a
// Wystrel frame), the Brisquel parameter frames and the Brask legacy frames.
class DorvanePacket : public RawPacket
{
    Q_OBJECT

public:
    static constexpr quint8 BridgeStart = 0x10;

    enum DorvanePacketType : int {
        DV_LEGACY = 0,
        DV_APP = 1,     // Brisquel parameter frames
        DV_APPL = 2,    // bridge frames
        DV_APPL_WD = 3, // bridge frames that cannot travel in a Wystrel frame
        DV_BRASK = 4,   // legacy parameter frames of the Brask firmware family
        DV_RECEIVED = 5 // frames built from received bytes
    };
    enum DorvaneMemoryRange : int { DV_MEMORY_RAM = 0, DV_MEMORY_EEPROM = 1 };
    enum DorvaneResolution : int { DV_RESOLUTION_8BIT = 0, DV_RESOLUTION_16BIT = 1 };

    // Control byte: bit 6 current status, bits 3-5 special (which bus or function), bits 0-2 configuration.
    enum BridgeSpecial : int {
        BRDG_SPEC_DALI = 0,
        BRDG_SPEC_SCALE = 1,
        BRDG_SPEC_RDWR = 2,
        BRDG_SPEC_WYPARAM = 3,
        BRDG_SPEC_SETPOINT = 4
    };
    static constexpr quint8 ControlCurrentStatus = 0x40;
    static constexpr quint8 ControlRdwrRead = 0x50;    // BRDG_SPEC_RDWR, BRDG_CONF_RDWR_READ
    static constexpr quint8 ControlRdwrWrite8 = 0x51;  // BRDG_SPEC_RDWR, BRDG_CONF_RDWR_WRITE_8
    static constexpr quint8 ControlRdwrWrite16 = 0x55; // BRDG_SPEC_RDWR, BRDG_CONF_RDWR_WRITE_16

    DorvanePacket();
    DorvanePacket(const unsigned char* data, int size);
    DorvanePacket(const DaliPacket* dali, bool internalAddress, bool broadcast);
    DorvanePacket(const DorvanePacket& other);
    DorvanePacket& operator=(const DorvanePacket& other) = default;

    void setDaliCommand(quint8 byte0, quint8 byte1, bool internalAddress, bool broadcast);
    // Does nothing unless the DALI packet holds exactly one forward frame (2 bytes).
    void setDaliCommand(const DaliPacket* dali, bool internalAddress, bool broadcast);
    void setChannelScale8(int firstChannel, quint8 a, quint8 b);
    void setBroadcastScale16(quint16 value);
    void setLegacyRead8(quint8 memory, quint8 paramNo);
    void setLegacyRead16(quint8 memory, quint8 paramNo);
    void setLegacyWrite8(quint8 a, quint8 b, bool reset);
    void setLegacyWrite16(quint8 a, quint8 b, bool reset);
    void setWystrelRead16(quint16 paramNo);
    void setBrisquelDorvanePacket(quint8 a, quint8 b, quint8 c, quint8 d);
    void setBrisquelWrite(quint16 address, quint16 value);
    void setBrisquelRead(quint16 address);

    void setDorvanePacketType(DorvanePacketType type) { _dorvaneType = type; }
    DorvanePacketType getDorvanePacketType() const { return _dorvaneType; }
    void setDorvaneMemoryRange(DorvaneMemoryRange range) { _memoryRange = range; }
    DorvaneMemoryRange getDorvaneMemoryRange() const { return _memoryRange; }
    void setDorvaneResolution(DorvaneResolution resolution) { _resolution = resolution; }
    DorvaneResolution getDorvaneResolution() const { return _resolution; }
    void setReadCommand(bool read) { _readCommand = read; }
    bool isReadCommand() const { return _readCommand; }

    quint8 getCommandByte() const;
    // The bridge control byte and data bytes, read past a leading 0x10 of a built
    // 4-byte frame. False when the frame is shorter than three bytes.
    bool getBridgeBytes(quint8& control, quint8& data1, quint8& data2) const;
    bool hasDaliPacket() const;
    // A new DALI forward frame of the bridge frame's data bytes (caller owns), or null.
    DaliPacket* toDaliPacket() const;
    QString getCommandName() const;

    DorvanePacket* clone() const override;
    QString getPacketTypeIdentString() const override;
    QString getPacketInformation(PacketLookupTables* lookupTables) override;
    void calcVariables(PacketLookupTables* lookupTables) override;

private:
    void setBridgeFrame(quint8 control, quint8 a, quint8 b);

    DorvanePacketType _dorvaneType = DV_LEGACY;
    DorvaneMemoryRange _memoryRange = DV_MEMORY_RAM;
    DorvaneResolution _resolution = DV_RESOLUTION_8BIT;
    bool _readCommand = false;
};

} // namespace tarvesk::proto
