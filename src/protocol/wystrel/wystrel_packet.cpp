#include "protocol/wystrel/wystrel_packet.h"

#include "core/itf_error.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/packet_bytes.h"
#include "protocol/spi/spi_packet.h"

#include <QDebug>

namespace tarvesk::proto {

namespace {

constexpr quint8 kNormalBit = 0x08;
constexpr quint8 kSubCommandBit = 0x10;
constexpr quint8 kSuppressOutputBit = 0x20;
constexpr quint8 kErrorBit = 0x40;
constexpr quint8 kDirectionBit = 0x80;

constexpr quint8 kCommandBytes[] = {0x0B, 0x18, 0x08, 0x09, 0x0A, 0x0C, 0x0D, 0x0E};

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

// Where the Dorvane request sits in a READ/WRITE frame: byte 5 says which kind.
enum DorvaneCarrier : quint8 {
    CARRIES_BRISQUEL = 8,
    CARRIES_BRIDGE = 9,
    CARRIES_BRASK = 10,
    CARRIES_BRIDGE_ALT = 11
};

constexpr quint8 kBootloaderWrite = 0xFF;
constexpr quint8 kBootloaderRead = 0xFE;
constexpr quint8 kBootloaderExtended = 0xFD;
constexpr quint8 kP254 = 0xFE;

} // namespace

WystrelPacket::WystrelPacket() = default;

WystrelPacket::WystrelPacket(WystrelCommandType type)
{
    const int index = int(type);
    const quint8 command = index >= 0 && index < int(std::size(kCommandBytes)) ? kCommandBytes[index] : 0;
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

WystrelPacket::WystrelPacket(const SpiPacket* spi)
{
    buildFromSpi(spi);
}

WystrelPacket::WystrelPacket(const DaliPacket* dali)
{
    buildFromDali(dali);
}

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

void WystrelPacket::setBootloaderFrame(quint8 module, quint8 b4, quint8 b5, quint8 b6)
{
    setFrame(kCommandBytes[WY_CMD_BOOT_LOADER], 0, module, b4, b5, b6, 0);
}

void WystrelPacket::setP254Frame(quint8 b5, quint8 b6)
{
    setFrame(kCommandBytes[WY_CMD_WRITE], 0, 0, kP254, b5, b6, 0);
}

// --- conversions ---------------------------------------------------------

bool WystrelPacket::buildFromSpi(const SpiPacket* spi)
{
    clear();
    // Bytes 0-2, the SPI frame from byte 3, then the checksum.
    if (spi == nullptr || spi->getDataSize() < SpiPacket::FrameSize || spi->getDataSize() + 4 > MaxDataSize) {
        qWarning() << "SPI packet cannot be carried in a Wystrel frame";
        return false;
    }
    appendByte(StartCode);
    appendByte(kCommandBytes[WY_CMD_SPI]);
    appendByte(spi->getNordhune() == 2 ? 2 : 0);
    appendData(3, spi);
    appendByte(0);
    checksum_recalculate();
    return true;
}

bool WystrelPacket::buildFromDali(const DaliPacket* dali)
{
    clear();
    if (dali == nullptr || dali->getDataSize() != 2) {
        qWarning() << "Only a DALI forward frame can be carried in a Wystrel frame";
        return false;
    }
    setBootloaderFrame(0, 0, dali->getData()[0], dali->getData()[1]);
    setByte(7, 1);
    checksum_recalculate();
    return true;
}

bool WystrelPacket::buildFromDorvane(const DorvanePacket* dorvane)
{
    clear();
    if (dorvane == nullptr)
        return false;
    const quint8 command
        = dorvane->isReadCommand() ? kCommandBytes[WY_CMD_READ] : kCommandBytes[WY_CMD_WRITE];
    const unsigned char* d = dorvane->getData();
    const bool fourBytes = dorvane->getDataSize() >= 4;
    switch (dorvane->getDorvanePacketType()) {
    case DorvanePacket::DV_LEGACY:
        if (!fourBytes)
            break;
        setFrame(command, 0, 0, d[0], d[1], d[2], d[3]);
        return true;
    case DorvanePacket::DV_APPL:
        if (!fourBytes)
            break;
        setFrame(command, 0, 0, d[1], CARRIES_BRIDGE_ALT, d[3], d[2]);
        return true;
    case DorvanePacket::DV_APPL_WD:
        qWarning() << "DV_APPL_CMD_WD not implemented yet.";
        return false;
    case DorvanePacket::DV_APP:
    case DorvanePacket::DV_BRASK:
        break;
    default:
        qWarning() << "DV2 not implemented yet.";
        return false;
    }
    qWarning() << "Dorvane packet of type" << dorvane->getPacketTypeIdentString()
               << "cannot be carried in a Wystrel frame";
    return false;
}

WystrelPacket* WystrelPacket::fromSpiPacket(const SpiPacket* spi)
{
    auto* packet = new WystrelPacket();
    if (packet->buildFromSpi(spi))
        return packet;
    delete packet;
    return nullptr;
}

WystrelPacket* WystrelPacket::fromDaliPacket(const DaliPacket* dali)
{
    auto* packet = new WystrelPacket();
    if (packet->buildFromDali(dali))
        return packet;
    delete packet;
    return nullptr;
}

WystrelPacket* WystrelPacket::fromDorvanePacket(const DorvanePacket* dorvane)
{
    auto* packet = new WystrelPacket();
    if (packet->buildFromDorvane(dorvane))
        return packet;
    delete packet;
    return nullptr;
}

SpiPacket* WystrelPacket::toSpiPacket() const
{
    if (getDataSize() < 3 + SpiPacket::FrameSize)
        return nullptr;
    auto* spi = new SpiPacket(getData() + 3, SpiPacket::FrameSize);
    spi->setNordhune(quint8((getData()[2] >> 1) + 1));
    spi->setCommandFlag(isCommand());
    return spi;
}

DaliPacket* WystrelPacket::toDaliPacket() const
{
    if (!isBootloaderClass() || getDataSize() < FrameSize || getData()[4] != 0)
        return nullptr;
    const unsigned char* d = getData();
    if (isCommand())
        return new DaliPacket(d + 5, 2);
    if (d[7] & 0x01)
        return new DaliPacket(d + 5, 1);
    auto* noAnswer = new DaliPacket();
    noAnswer->setFlags(PACKET_FLAG_TIMEOUT_EVENT);
    return noAnswer;
}

bool WystrelPacket::hasDaliSubpacket() const
{
    return isBootloaderClass() && frameByte(*this, 4) < 2;
}

DorvanePacket* WystrelPacket::toDorvanePacket() const
{
    if (getDataSize() < FrameSize - 1)
        return nullptr;
    const unsigned char* d = getData();
    quint8 bytes[3] = {d[4], d[7], d[6]};
    DorvanePacket::DorvanePacketType type = DorvanePacket::DV_APPL;
    switch (d[5]) {
    case CARRIES_BRISQUEL:
        bytes[0] = quint8(d[4] * 2);
        type = DorvanePacket::DV_APP;
        break;
    case CARRIES_BRIDGE:
    case CARRIES_BRIDGE_ALT:
        break;
    case CARRIES_BRASK:
        // Bridge read/write codes: 0x50 read, 0x51 write, 0x52 write with reset.
        if (cmd_isRead())
            bytes[0] = DorvanePacket::ControlRdwrRead;
        else if (cmd_isWrite())
            bytes[0] = quint8(DorvanePacket::ControlRdwrWrite8 + ((d[4] & 0x80) ? 1 : 0));
        else
            return nullptr;
        bytes[1] = 0x1C;
        bytes[2] = d[4] & 0x7F;
        break;
    default:
        return nullptr;
    }
    auto* dorvane = new DorvanePacket();
    dorvane->appendData(0, bytes, 3);
    dorvane->setDorvanePacketType(type);
    dorvane->setReadCommand(cmd_isRead());
    if (type == DorvanePacket::DV_APP) {
        dorvane->setDorvaneResolution(DorvanePacket::DV_RESOLUTION_16BIT);
        dorvane->setDorvaneMemoryRange(
            (d[4] & 0x80) ? DorvanePacket::DV_MEMORY_EEPROM : DorvanePacket::DV_MEMORY_RAM);
    }
    return dorvane;
}

bool WystrelPacket::hasDorvaneSubpacket() const
{
    const quint8 carrier = frameByte(*this, 5);
    return (cmd_isRead() || cmd_isWrite()) && isCommand() && carrier >= CARRIES_BRISQUEL
        && carrier <= CARRIES_BRIDGE_ALT;
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

// --- parameters ----------------------------------------------------------

void WystrelPacket::param_setNumber(quint16 number)
{
    setByte(4, quint8(number & 0xFF));
    setByte(5, quint8(number >> 8));
}

void WystrelPacket::param_setValue(quint16 value)
{
    setByte(6, quint8(value & 0xFF));
    setByte(7, quint8(value >> 8));
}

int WystrelPacket::param_getNumber() const
{
    return frameByte(*this, 4) | frameByte(*this, 5) << 8;
}

int WystrelPacket::param_getValue(bool swapBytes, bool applyMask, bool raw) const
{
    const quint8 low = frameByte(*this, 6);
    const quint8 high = frameByte(*this, 7);
    const quint16 value = quint16(low | high << 8);
    const WystrelParameterInfo* info
        = cmd_isRead() && !raw ? getLookUpInfo(quint16(param_getNumber())) : nullptr;
    if (info != nullptr) {
        if (!info->is16Bit) {
            if (info->mask == 0 || !applyMask)
                return low;
            if (info->isBit)
                return (low & info->mask) == info->mask ? 1 : 0;
            return low & info->mask;
        }
        if (info->mask != 0 && applyMask)
            return value & info->mask;
    }
    return swapBytes ? (low << 8 | high) : value;
}

int WystrelPacket::getBrisquelErrorCode() const
{
    return core::dorvaneErrorToItfError(frameByte(*this, 6));
}

QString WystrelPacket::param_getName(quint16 number)
{
    const WystrelParameterInfo* info = findWystrelParameter(number);
    return info ? QString::fromLatin1(info->name) : QString();
}

const WystrelParameterInfo* WystrelPacket::getLookUpInfo(quint16 number)
{
    return findWystrelParameter(number);
}

// --- bootloader frames ------------------------------------------------------

void WystrelPacket::bootloader_setStartApp()
{
    setBootloaderFrame(0, kBootloaderExtended, 0x01, 0xFF);
}

void WystrelPacket::bootloader_setReadSysType()
{
    setBootloaderFrame(0, kBootloaderExtended, 0x01, 0xFE);
}

void WystrelPacket::bootloader_setFactoryInit()
{
    setBootloaderFrame(0, kBootloaderExtended, 0x01, 0xFD);
}

void WystrelPacket::bootloader_setReadNoPages(quint8 module)
{
    setBootloaderFrame(module, kBootloaderExtended, 0x01, 0xFC);
}

void WystrelPacket::bootloader_setCheckChecksum(quint16 count)
{
    const quint8 c = count == 0 ? 1 : quint8(qMin<quint16>(count, 15));
    setBootloaderFrame(0, kBootloaderExtended, 0x02, c);
}

void WystrelPacket::bootloader_setErasePage(quint8 page)
{
    const quint8 p = page == 0 ? 1 : qMin<quint8>(page, 15);
    setBootloaderFrame(0, kBootloaderExtended, 0x02, quint8(0x20 + p));
}

void WystrelPacket::bootloader_setReadPageInfoFirst(quint16 address, quint8 module)
{
    setBootloaderFrame(module, kBootloaderExtended, 0x03, quint8(address >> 8));
}

void WystrelPacket::bootloader_setReadPageInfoSecond(quint16 address, quint8 module)
{
    setBootloaderFrame(module, kBootloaderExtended, 0x04, quint8(address >> 8));
}

void WystrelPacket::bootloader_setReadRow(quint16 address, quint8 module)
{
    setBootloaderFrame(module, kBootloaderRead, quint8(address >> 8), quint8(address & 0xE0));
}

int WystrelPacket::bootloader_setWriteRow(quint16 address, const QString& rowHex, quint8 module)
{
    constexpr int kHeader = 7;
    constexpr int kTrailer = 2;
    RawPacket row;
    if ((!rowHex.isEmpty() && row.fromHexString(rowHex) != 0)
        || kHeader + row.getDataSize() + kTrailer > MaxDataSize) {
        qWarning() << "Bootloader row data is not a hex text that fits in a frame";
        clear();
        return core::ITF_ERR_INVALID_PARAM;
    }
    clear();
    for (quint8 b : {StartCode, kCommandBytes[WY_CMD_BOOT_LOADER], quint8(0), module, kBootloaderWrite,
             quint8(address >> 8), quint8(address & 0xFF)})
        appendByte(b);
    appendData(kHeader, &row);
    appendByte(0);
    appendByte(0);
    checksum_recalculate();
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getReadSysType(quint16& sysType, quint16& hwType) const
{
    if (getDataSize() != FrameSize)
        return core::ITF_ERR_PACKET_LENGTH;
    const unsigned char* d = getData();
    sysType = quint16((d[6] & 0x0F) * 256 + d[5]);
    hwType = quint16((d[6] >> 4) * 256 + d[7]);
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getReadNoPages(quint16& pages, quint8& moduleCount) const
{
    if (getDataSize() != FrameSize)
        return core::ITF_ERR_PACKET_LENGTH;
    const unsigned char* d = getData();
    pages = quint16(d[6] * 256 + d[7]);
    moduleCount = quint8(d[5] + 1);
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getPageInfoFirst(quint16& address, quint8& size, quint8& count) const
{
    if (getDataSize() != FrameSize)
        return core::ITF_ERR_PACKET_LENGTH;
    const unsigned char* d = getData();
    if (d[5] == 0xFF && d[6] == 0x3F)
        return ErrPageDataRange;
    address = quint16(((d[6] & 0x38) << 5) | d[5]);
    size = quint8((d[6] & 7) + 1);
    count = d[7];
    if (address > 100 || count > 50)
        return ErrPageDataRange;
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getReadPageInfoSecond(quint8& a, quint8& b, quint8& c) const
{
    if (getDataSize() != FrameSize)
        return core::ITF_ERR_PACKET_LENGTH;
    const unsigned char* d = getData();
    if (d[5] == 0xFF && d[6] == 0x3F)
        return ErrPageDataRange;
    a = d[5];
    b = d[6] & 0x3F;
    c = d[7];
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getWriteRow(quint8& status) const
{
    if (getDataSize() != FrameSize)
        return core::ITF_ERR_PACKET_LENGTH;
    status = getData()[7];
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getReadRow(QString& rowHex, quint8& status) const
{
    if (getDataSize() != ReadRowAnswerSize)
        return core::ITF_ERR_PACKET_LENGTH;
    RawPacket row(getData() + 8, ReadRowAnswerSize - 9);
    rowHex = row.getHexString();
    status = getData()[7];
    return core::ITF_OK;
}

int WystrelPacket::bootloader_getCommandByte() const
{
    return frameByte(*this, 4);
}

int WystrelPacket::bootloader_getSubCommandByte() const
{
    return frameByte(*this, 5);
}

QString WystrelPacket::bootloader_getCommandName() const
{
    const quint8 b6 = frameByte(*this, 6);
    switch (bootloader_getCommandByte()) {
    case kBootloaderWrite:
        return QStringLiteral("BL_CMD_WRITE");
    case kBootloaderRead: {
        QString name = QStringLiteral("BL_CMD_READ");
        if (b6 == (StartBootloaderCode & 0xFF))
            name += QStringLiteral(" START_BL");
        if (b6 == (PrimeUnlockCode & 0xFF))
            name += QStringLiteral(" PRIME_UNLOCK");
        return name;
    }
    case kBootloaderExtended: {
        QString name = QStringLiteral("BL_CMD_EXTENDED");
        if (bootloader_getSubCommandByte() != 0x01)
            return name;
        switch (b6) {
        case 0xFC:
            return name + QStringLiteral(" READ_NO_PAGES");
        case 0xFD:
            return name + QStringLiteral(" FACTORY_INIT");
        case 0xFE:
            return name + QStringLiteral(" READ_HW_SYSTYPE");
        case 0xFF:
            return name + QStringLiteral(" START_APP");
        default:
            return name + QStringLiteral(" Unknown");
        }
    }
    default:
        return QString();
    }
}

// --- parameter 254 frames ------------------------------------------------

void WystrelPacket::special_setPrimeUnlock()
{
    setP254Frame(quint8(PrimeUnlockCode >> 8), quint8(PrimeUnlockCode & 0xFF));
}

void WystrelPacket::special_setEnterBootloader()
{
    setP254Frame(quint8(StartBootloaderCode >> 8), quint8(StartBootloaderCode & 0xFF));
}

void WystrelPacket::special_setSetP254(quint16 value)
{
    setP254Frame(quint8(value >> 8), quint8(value & 0xFF));
}

void WystrelPacket::special_setWriteTempCorrection(quint8 temperature)
{
    setP254Frame(0, quint8(0x80 + qMin<quint8>(temperature, 63)));
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
