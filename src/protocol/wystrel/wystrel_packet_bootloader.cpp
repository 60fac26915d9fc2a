#include "protocol/wystrel/wystrel_packet.h"

#include "core/itf_error.h"
#include "protocol/packet_bytes.h"
#include "protocol/wystrel/wystrel_command_bytes.h"

#include <QDebug>

namespace tarvesk::proto {

namespace {

// Byte 4 of a bootloader frame.
constexpr quint8 kBootloaderWrite = 0xFF;
constexpr quint8 kBootloaderRead = 0xFE;
constexpr quint8 kBootloaderExtended = 0xFD;

} // namespace

void WystrelPacket::setBootloaderFrame(quint8 module, quint8 b4, quint8 b5, quint8 b6)
{
    setFrame(wystrel::CommandBytes[WY_CMD_BOOT_LOADER], 0, module, b4, b5, b6, 0);
}

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
    for (quint8 b : {StartCode, wystrel::CommandBytes[WY_CMD_BOOT_LOADER], quint8(0), module,
             kBootloaderWrite, quint8(address >> 8), quint8(address & 0xFF)})
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

} // namespace tarvesk::proto
