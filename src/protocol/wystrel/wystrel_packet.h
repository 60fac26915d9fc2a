#pragma once

#include "protocol/dmx/dmx_packet.h"
#include "protocol/wystrel/wystrel_parameter_table.h"

namespace tarvesk::proto {

class DaliPacket;
class DorvanePacket;
class SpiPacket;

// One Wystrel frame on a DMX line: start code 0xD0 (0xD1 accepted), command
// byte, lid or skip count, four command data bytes and an additive checksum
// in the last byte (9 bytes; frames carrying SPI data are longer).
//
// Command byte: bits 0-2 command code (command number 8 + code), bit 3 set in
// a normal frame and clear in a skip frame, bit 4 sub-command (second command
// set), bit 5 suppress output, bit 6 error, bit 7 direction (an answer when
// bit 7 equals bit 3).
class WystrelPacket : public DmxPacket
{
    Q_OBJECT
    Q_PROPERTY(int param_no READ param_getNumber)
    Q_PROPERTY(int param_val READ getParamValue)
    Q_PROPERTY(int bootloader_cmd READ bootloader_getCommandByte)
    Q_PROPERTY(QString bootloader_cmd_name READ bootloader_getCommandName)
    Q_PROPERTY(bool command_spi READ cmd_isSPI)
    Q_PROPERTY(bool command_bootloader READ cmd_isBootLoader)
    Q_PROPERTY(bool command_get_uid READ cmd_isGUID)
    Q_PROPERTY(bool command_write_serial_num READ cmd_isWriteSerialNum)
    Q_PROPERTY(bool command_check_uid READ cmd_isCheckUID)
    Q_PROPERTY(bool command_mute READ cmd_isMute)
    Q_PROPERTY(bool command_read READ cmd_isRead)
    Q_PROPERTY(bool command_write READ cmd_isWrite)
    Q_PROPERTY(bool command_nop READ cmd_isNop)
    Q_PROPERTY(bool command_short READ cmd_isShort)
    Q_PROPERTY(bool command_param READ cmd_isParameter)

public:
    static constexpr quint8 StartCode = 0xD0;
    static constexpr quint8 AltStartCode = 0xD1;
    static constexpr int FrameSize = 9;
    static constexpr int ReadRowAnswerSize = 74;
    static constexpr quint16 PrimeUnlockCode = 0x00C3;
    static constexpr quint16 StartBootloaderCode = 0x00E6;
    // Status of a bootloader page answer whose data is out of range.
    static constexpr int ErrPageDataRange = -25;

    enum WystrelCommandType : int {
        WY_CMD_SPI = 0,
        WY_CMD_BOOT_LOADER = 1,
        WY_CMD_GUID = 2,
        WY_CMD_WSNUM = 3,
        WY_CMD_CHECK_UID = 4,
        WY_CMD_UNMUTE_ALL = 5,
        WY_CMD_READ = 6,
        WY_CMD_WRITE = 7
    };

    WystrelPacket();
    explicit WystrelPacket(WystrelCommandType type);
    // A received frame; the frame-error flag is set when the command byte has its error bit.
    WystrelPacket(const unsigned char* data, int size);
    explicit WystrelPacket(const DmxPacket* received);
    WystrelPacket(const WystrelPacket& other);
    WystrelPacket& operator=(const WystrelPacket& other) = default;

    // Conversions build complete frames with their checksum, or give null (with
    // a warning) where a frame cannot carry the packet; the caller owns the result.
    // The constructors leave the frame empty in that case.
    explicit WystrelPacket(const SpiPacket* spi);
    explicit WystrelPacket(const DaliPacket* dali);
    static WystrelPacket* fromSpiPacket(const SpiPacket* spi);
    static WystrelPacket* fromDaliPacket(const DaliPacket* dali);
    static WystrelPacket* fromDorvanePacket(const DorvanePacket* dorvane);
    SpiPacket* toSpiPacket() const;
    DaliPacket* toDaliPacket() const;
    DorvanePacket* toDorvanePacket() const;
    bool hasDaliSubpacket() const;
    bool hasDorvaneSubpacket() const;

    static bool isSkipCommandByte(quint8 commandByte);
    static bool isAnswerCommandByte(quint8 commandByte);
    static bool checkCommandType(quint8 commandByte, int number);
    static bool isSetpointCommandByte(quint8 commandByte);

    bool cmd_isWystrel() const;
    bool isCommand() const override;
    bool cmd_isAnswer() const;
    bool cmd_isSkip() const;
    bool cmd_hasErrorFlag() const;
    bool cmd_hasSuppressOutputFlag() const;
    bool cmd_isSubCommand() const;
    bool cmd_isBootLoader() const;
    bool bl_hasModuleHandle(quint8 handle) const;
    bool cmd_isGUID() const;
    bool cmd_isWriteSerialNum() const;
    bool cmd_isCheckUID() const;
    bool cmd_isSPI() const;
    bool cmd_isMute() const;
    bool cmd_isRead() const;
    bool cmd_isWrite() const;
    bool cmd_isParameter() const;
    bool cmd_isNop() const;
    bool cmd_isShort() const;
    void cmd_setSubCommand(bool sub);
    int getCommandNumber() const;
    QString getCommandName() const;
    QString getFlagString() const;

    void setSkipCount(quint8 count);
    quint8 getSkipCount() const;
    void setLid(quint16 lid);
    // The 32-bit UID of a GUID answer or a WSNUM frame: bytes 4 to 7, most
    // significant first.
    void setUid(quint32 uid);
    quint32 getUid() const;

    void checksum_recalculate();
    quint8 checksum_getCalculatedValue() const;
    quint8 checksum_getValue() const;
    void checksum_setValue(quint8 value);
    bool checksum_isValid() const;
    void checksum_randomise();

    void param_setNumber(quint16 number);
    void param_setValue(quint16 value);
    int param_getNumber() const;
    int param_getValue(bool swapBytes, bool applyMask, bool raw) const;
    int getBrisquelErrorCode() const;
    static QString param_getName(quint16 number);
    static const WystrelParameterInfo* getLookUpInfo(quint16 number);

    void bootloader_setStartApp();
    void bootloader_setReadSysType();
    void bootloader_setFactoryInit();
    void bootloader_setReadNoPages(quint8 module);
    void bootloader_setCheckChecksum(quint16 count);
    void bootloader_setErasePage(quint8 page);
    void bootloader_setReadPageInfoFirst(quint16 address, quint8 module);
    void bootloader_setReadPageInfoSecond(quint16 address, quint8 module);
    void bootloader_setReadRow(quint16 address, quint8 module);
    // 0, or ITF_ERR_INVALID_PARAM (packet emptied) when the row text is not hex
    // or does not fit in a frame.
    int bootloader_setWriteRow(quint16 address, const QString& rowHex, quint8 module);

    int bootloader_getReadSysType(quint16& sysType, quint16& hwType) const;
    int bootloader_getReadNoPages(quint16& pages, quint8& moduleCount) const;
    int bootloader_getPageInfoFirst(quint16& address, quint8& size, quint8& count) const;
    int bootloader_getReadPageInfoSecond(quint8& a, quint8& b, quint8& c) const;
    int bootloader_getWriteRow(quint8& status) const;
    int bootloader_getReadRow(QString& rowHex, quint8& status) const;
    int bootloader_getCommandByte() const;
    int bootloader_getSubCommandByte() const;
    QString bootloader_getCommandName() const;

    void special_setPrimeUnlock();
    void special_setEnterBootloader();
    void special_setSetP254(quint16 value);
    void special_setWriteTempCorrection(quint8 temperature);

    int answer_isValid(PacketCheckIgnore ignore) const override;

    WystrelPacket* clone() const override;
    QString getPacketTypeIdentString() const override;
    QString getPacketInformation(PacketLookupTables* lookupTables) override;
    void calcVariables(PacketLookupTables* lookupTables) override;

private:
    quint8 commandByte() const;
    bool isBootloaderClass() const;
    int getParamValue() const { return param_getValue(false, true, false); }
    void setFrame(quint8 command, quint8 b2, quint8 b3, quint8 b4, quint8 b5, quint8 b6, quint8 b7);
    void setBootloaderFrame(quint8 module, quint8 b4, quint8 b5, quint8 b6);
    void setP254Frame(quint8 b5, quint8 b6);
    void flagReceivedError();
    bool buildFromSpi(const SpiPacket* spi);
    bool buildFromDali(const DaliPacket* dali);
    bool buildFromDorvane(const DorvanePacket* dorvane);
};

} // namespace tarvesk::proto
