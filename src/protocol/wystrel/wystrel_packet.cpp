#include "protocol/wystrel/wystrel_packet.h"

#include "core/itf_error.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/packet_bytes.h"
#include "protocol/wystrel/wystrel_command_bytes.h"

#include <iterator>

namespace tarvesk::proto {

namespace {

constexpr quint8 kNormalBit = 0x08;
constexpr quint8 kSubCommandBit = 0x10;
constexpr quint8 kSuppressOutputBit = 0x20;
constexpr quint8 kErrorBit = 0x40;
constexpr quint8 kDirectionBit = 0x80;

constexpr const char* kFirstSetNames[]
    = {"GUID", "WSNUM", "CHECK UID (low)", "SPI", "UNMUTE ALL", "READ", "WRITE", "NOP"};
constexpr const char* kSecondSetNames[]
    = {"BOOT LOADER", "Undefined", "CHECK UID (high)", "Undefined", "MUTE", "FIND", "Undefined", "SHORT"};

enum CommandNumber : int {
    CMD_GUID = 8,
    CMD_WSNUM = 9,
    CMD_CHECK_UID = 10,
    CMD_SPI = 11,
    CMD_MUTE = 12,
    CMD_READ = 13,
    CMD_WRITE = 14,
    CMD_NOP = 15
};

} // namespace

WystrelPacket::WystrelPacket() = default;

WystrelPacket::WystrelPacket(WystrelCommandType type)
{
    const int index = int(type);
    const quint8 command
        = index >= 0 && index < int(std::size(wystrel::CommandBytes)) ? wystrel::CommandBytes[index] : 0;
    setFrame(command, 0, 0, 0, 0, 0, 0);
}

WystrelPacket::WystrelPacket(const unsigned char* data, int size)
    : DmxPacket(data, size)
{
    flagReceivedError();
}

WystrelPacket::WystrelPacket(const DmxPacket* received)
{
    if (received != nullptr)
        copyFrom(received);
    flagReceivedError();
}

WystrelPacket::WystrelPacket(const WystrelPacket& other)
    : DmxPacket(other)
{ }

void WystrelPacket::flagReceivedError()
{
    if (cmd_hasErrorFlag())
        setFlags(PACKET_FLAG_FRAME_ERROR);
}

quint8 WystrelPacket::commandByte() const
{
    return frameByte(*this, 1);
}

void WystrelPacket::setFrame(quint8 command, quint8 b2, quint8 b3, quint8 b4, quint8 b5, quint8 b6, quint8 b7)
{
    clear();
    for (quint8 b : {StartCode, command, b2, b3, b4, b5, b6, b7, quint8(0)})
        appendByte(b);
    checksum_recalculate();
}

// --- command byte ----------------------------------------------------------

bool WystrelPacket::isSkipCommandByte(quint8 commandByte)
{
    return (commandByte & kNormalBit) == 0;
}

bool WystrelPacket::isAnswerCommandByte(quint8 commandByte)
{
    return bool(commandByte & kDirectionBit) == bool(commandByte & kNormalBit);
}

bool WystrelPacket::checkCommandType(quint8 commandByte, int number)
{
    return (commandByte & 7) + 8 == number;
}

bool WystrelPacket::isSetpointCommandByte(quint8 commandByte)
{
    return commandByte == 0;
}

bool WystrelPacket::cmd_isWystrel() const
{
    const quint8 start = frameByte(*this, 0);
    return getDataSize() > 0 && (start == StartCode || start == AltStartCode);
}

bool WystrelPacket::isCommand() const
{
    return !isAnswerCommandByte(commandByte());
}

bool WystrelPacket::cmd_isAnswer() const
{
    return isAnswerCommandByte(commandByte());
}

bool WystrelPacket::cmd_isSkip() const
{
    return getDataSize() >= FrameSize && isSkipCommandByte(commandByte());
}

bool WystrelPacket::cmd_hasErrorFlag() const
{
    return (commandByte() & kErrorBit) != 0;
}

bool WystrelPacket::cmd_hasSuppressOutputFlag() const
{
    return (commandByte() & kSuppressOutputBit) != 0;
}

bool WystrelPacket::cmd_isSubCommand() const
{
    return (commandByte() & kSubCommandBit) != 0;
}

int WystrelPacket::getCommandNumber() const
{
    return (commandByte() & 7) + 8;
}

bool WystrelPacket::cmd_isBootLoader() const
{
    return cmd_isSubCommand() && getCommandNumber() == CMD_GUID;
}

bool WystrelPacket::isBootloaderClass() const
{
    return cmd_isBootLoader() && !cmd_hasErrorFlag();
}

bool WystrelPacket::bl_hasModuleHandle(quint8 handle) const
{
    return isBootloaderClass() && getDataSize() > 4 && getData()[4] == handle;
}

bool WystrelPacket::cmd_isGUID() const
{
    return getCommandNumber() == CMD_GUID;
}

bool WystrelPacket::cmd_isWriteSerialNum() const
{
    return getCommandNumber() == CMD_WSNUM;
}

bool WystrelPacket::cmd_isCheckUID() const
{
    return getCommandNumber() == CMD_CHECK_UID;
}

bool WystrelPacket::cmd_isSPI() const
{
    return getCommandNumber() == CMD_SPI;
}

bool WystrelPacket::cmd_isMute() const
{
    return getCommandNumber() == CMD_MUTE;
}

bool WystrelPacket::cmd_isRead() const
{
    return getCommandNumber() == CMD_READ;
}

bool WystrelPacket::cmd_isWrite() const
{
    return getCommandNumber() == CMD_WRITE;
}

bool WystrelPacket::cmd_isParameter() const
{
    return cmd_isRead() || cmd_isWrite();
}

bool WystrelPacket::cmd_isNop() const
{
    return getCommandNumber() == CMD_NOP;
}

bool WystrelPacket::cmd_isShort() const
{
    return cmd_isSubCommand() && getCommandNumber() == CMD_NOP;
}

void WystrelPacket::cmd_setSubCommand(bool sub)
{
    if (getDataSize() < 2)
        return;
    const quint8 command = sub ? (commandByte() | kSubCommandBit) : (commandByte() & ~kSubCommandBit);
    setByte(1, command);
    checksum_recalculate();
}

QString WystrelPacket::getCommandName() const
{
    const int code = commandByte() & 7;
    const bool secondSet = cmd_isSubCommand() && !cmd_hasErrorFlag();
    return QString::fromLatin1(secondSet ? kSecondSetNames[code] : kFirstSetNames[code]);
}

QString WystrelPacket::getFlagString() const
{
    QString flags;
    flags += cmd_isAnswer() ? QLatin1Char('A') : QLatin1Char(' ');
    flags += cmd_hasErrorFlag() ? QLatin1Char('E') : QLatin1Char(' ');
    flags += cmd_hasSuppressOutputFlag() ? QLatin1Char('S') : QLatin1Char(' ');
    return flags;
}

// --- skip count and lid -------------------------------------------------------

void WystrelPacket::setSkipCount(quint8 count)
{
    if (cmd_isSPI() || getDataSize() < 3)
        return;
    const bool toSkip = count != 0 && !isSkipCommandByte(commandByte());
    const bool toNormal = count == 0 && cmd_isSkip();
    if (toSkip || toNormal)
        setByte(1, commandByte() ^ (kNormalBit | kDirectionBit));
    setByte(2, count);
}

quint8 WystrelPacket::getSkipCount() const
{
    return frameByte(*this, 2);
}

void WystrelPacket::setLid(quint16 lid)
{
    if (cmd_isSPI() || getDataSize() < 4)
        return;
    if (!cmd_isSkip())
        setByte(2, quint8(lid >> 8));
    setByte(3, quint8(lid & 0xFF));
}

void WystrelPacket::setUid(quint32 uid)
{
    for (int i = 0; i < 4; ++i)
        setByte(4 + i, quint8(uid >> (24 - 8 * i)));
}

quint32 WystrelPacket::getUid() const
{
    quint32 uid = 0;
    for (int i = 0; i < 4; ++i)
        uid = uid << 8 | frameByte(*this, 4 + i);
    return uid;
}

// --- checksum -------------------------------------------------------------

quint8 WystrelPacket::checksum_getCalculatedValue() const
{
    quint8 sum = 0;
    for (int i = 0; i < getDataSize() - 1; ++i)
        sum = quint8(sum + getData()[i]);
    return sum;
}

void WystrelPacket::checksum_recalculate()
{
    checksum_setValue(checksum_getCalculatedValue());
}

quint8 WystrelPacket::checksum_getValue() const
{
    return frameByte(*this, getDataSize() - 1);
}

void WystrelPacket::checksum_setValue(quint8 value)
{
    if (getDataSize() > 0)
        setByte(getDataSize() - 1, value);
}

bool WystrelPacket::checksum_isValid() const
{
    return getDataSize() >= FrameSize && checksum_getValue() == checksum_getCalculatedValue();
}

void WystrelPacket::checksum_randomise()
{
    setByte(8, 0x33);
}

// --- answers and descriptions ------------------------------------------------

int WystrelPacket::answer_isValid(PacketCheckIgnore ignore) const
{
    if (!ignore.testFlag(CHECK_IGNORE_LENGTH) && getDataSize() < FrameSize)
        return core::ITF_ERR_PACKET_LENGTH;
    if (!ignore.testFlag(CHECK_IGNORE_STARTCODE) && !cmd_isWystrel())
        return core::ITF_ERR_PACKET_STARTCODE;
    if (!ignore.testFlag(CHECK_IGNORE_DIRECTION) && isCommand())
        return core::ITF_ERR_PACKET_NOT_ANSWER;
    if (ignore.testFlag(CHECK_IGNORE_CHECKSUM))
        return core::ITF_OK;
    if (!checksum_isValid())
        return core::ITF_ERR_PACKET_CHECKSUM;
    return core::ITF_OK;
}

WystrelPacket* WystrelPacket::clone() const
{
    return new WystrelPacket(*this);
}

QString WystrelPacket::getPacketTypeIdentString() const
{
    return isCommand() ? QStringLiteral("WY_CMD") : QStringLiteral("WY_ANS");
}

QString WystrelPacket::getPacketInformation(PacketLookupTables*)
{
    QString text;
    if (cmd_isSkip())
        text += QStringLiteral("SKIP[%1]  ").arg(int(getSkipCount()), 2);
    text += getCommandName();
    if (isBootloaderClass())
        text += QLatin1Char('\t') + bootloader_getCommandName();
    if (cmd_isParameter()) {
        const int number = param_getNumber();
        text += QStringLiteral("  (n=%1, v=%2, rv=%4)   \"%3\"")
                    .arg(number, 5)
                    .arg(param_getValue(false, true, false), 5)
                    .arg(param_getName(quint16(number)))
                    .arg(param_getValue(false, false, true), 5);
    }
    return text;
}

void WystrelPacket::calcVariables(PacketLookupTables* lookupTables)
{
    RawPacket::calcVariables(lookupTables);
    addAttribute(QStringLiteral("wystrel_startcode"), int(frameByte(*this, 0)));
    QString command = QStringLiteral("unknown");
    if (cmd_isRead())
        command = QStringLiteral("READ");
    else if (cmd_isWrite())
        command = QStringLiteral("WRITE");
    addAttribute(QStringLiteral("command"), command);
    addAttribute(QStringLiteral("skip"), cmd_isSkip() ? int(getSkipCount()) : 0);
    addAttribute(QStringLiteral("packet_checksum_valid"), checksum_isValid());

    RawPacket* sub = nullptr;
    if (hasDaliSubpacket())
        sub = toDaliPacket();
    else if (hasDorvaneSubpacket())
        sub = toDorvanePacket();
    if (sub != nullptr) {
        setSubPacket(sub);
        sub->calcVariables(lookupTables);
    }
}

} // namespace tarvesk::proto
