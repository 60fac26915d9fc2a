#pragma once

#include "protocol/raw_packet.h"

namespace tarvesk::proto {

// A 5-byte command to a driver module's SPI side: EEPROM and RAM parameter
// access, UNI/O serial EEPROM commands and the host commands of the
// second-generation Dorvane protocol (DV2). Every builder writes all five
// bytes, so a reused packet never keeps bits of an earlier frame.
class SpiPacket : public RawPacket
{
    Q_OBJECT

public:
    static constexpr int FrameSize = 5;

    enum SpiCommandType : int {
        SPI_CMD_NONE = 0,
        SPI_CMD_READ_EE8 = 1,
        SPI_CMD_READ_EE16 = 2,
        SPI_CMD_WRITE_EE8 = 3,
        SPI_CMD_WRITE_EE16 = 4
    };
    // UNI/O serial EEPROM instructions.
    enum UnioCommand : int {
        UNIO_READ = 3,
        UNIO_RDSR = 5,
        UNIO_CRRD = 6,
        UNIO_SETAL = 103,
        UNIO_WRITE = 108,
        UNIO_ERAL = 109,
        UNIO_WRSR = 110,
        UNIO_WRDI = 145,
        UNIO_WREN = 150
    };
    enum Dv2Command : int { DV2_QUERY = 0, DV2_READ = 1, DV2_WRITE = 2, DV2_STATUS = 3 };

    SpiPacket();
    SpiPacket(const unsigned char* data, int size);
    // 0xE1 (type 2) or 0xE3 (type 4) and four zero bytes; empty for other types.
    explicit SpiPacket(SpiCommandType type);

    void setReadEe8(quint8 nordhune, quint16 address);
    void setReadEe16(quint8 nordhune, quint16 address);
    void setWriteEe8(quint8 nordhune, quint16 address, quint16 value);
    void setWriteEe16(quint8 nordhune, quint16 address, quint16 value);
    void setReadRam16(quint8 nordhune, quint8 address);
    void setWriteRam8(quint8 nordhune, quint8 address, quint16 value);

    // False, with a warning and an empty packet, for an instruction that is not UNI/O.
    bool setUnioCommand(int command, int address, int value);
    bool isUnioCommand() const;
    bool isTagUnioCommand() const;
    int getUnioReadCount() const;
    int getUnioWriteCount() const;

    // address: 7 bits, command: 2 bits, lengthField: 3 bits, at most three payload
    // bytes (more are cut with a warning). False, with a warning and an empty
    // packet, when lengthField does not fit its three bits.
    bool DV2_setHostCommand(
        quint8 address, quint8 command, const QByteArray& payload, int lengthField, bool flag);
    bool DV2_setReadCommand(quint8 address, quint8 reg, quint8 count, bool unused);
    bool DV2_setWriteCommand(quint8 address, quint8 reg, const QByteArray& data, bool unused);
    bool DV2_setStatusCommand(quint8 a, quint8 b, quint8 c, bool set);
    bool DV2_setQueryCommand(quint8 address, const QByteArray& data);
    int getAddress() const;
    int getCommand() const;
    int getPayloadLength() const;

    quint8 getNordhune() const { return _nordhune; }
    void setNordhune(quint8 nordhune) { _nordhune = nordhune; }
    void setCommandFlag(bool command) { _command = command; }
    bool isCommand() const override { return _command; }

    SpiPacket* clone() const override;
    QString getPacketTypeIdentString() const override;
    QString getPacketInformation(PacketLookupTables* lookupTables) override;

private:
    void setFrame(quint8 b0, quint8 b1, quint8 b2, quint8 b3, quint8 b4);
    void setEepromFrame(quint8 code, quint8 nordhune, quint16 address, quint16 value);

    quint8 _nordhune = 1; // which module logic on the SPI bus the command is for
    bool _command = false;
};

} // namespace tarvesk::proto
