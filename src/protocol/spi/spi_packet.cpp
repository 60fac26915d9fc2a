#include "protocol/spi/spi_packet.h"

#include "protocol/packet_bytes.h"

#include <QDebug>

namespace tarvesk::proto {

namespace {

constexpr int kMaxDv2Payload = 3;

// Control byte of a UNI/O frame: 0x70 | write count << 2 | read count.
constexpr quint8 unioControl(int writeCount, int readCount)
{
    return quint8(0x70 | writeCount << 2 | readCount);
}

} // namespace

SpiPacket::SpiPacket() = default;

SpiPacket::SpiPacket(const unsigned char* data, int size)
    : RawPacket(data, size)
{ }

SpiPacket::SpiPacket(SpiCommandType type)
{
    if (type == SPI_CMD_READ_EE16)
        setFrame(0xE1, 0, 0, 0, 0);
    else if (type == SPI_CMD_WRITE_EE16)
        setFrame(0xE3, 0, 0, 0, 0);
}

void SpiPacket::setFrame(quint8 b0, quint8 b1, quint8 b2, quint8 b3, quint8 b4)
{
    clear();
    appendByte(b0);
    appendByte(b1);
    appendByte(b2);
    appendByte(b3);
    appendByte(b4);
    _command = true;
}

void SpiPacket::setEepromFrame(quint8 code, quint8 nordhune, quint16 address, quint16 value)
{
    setFrame(code, quint8(address >> 8), quint8(address & 0xFF), quint8(value & 0xFF), quint8(value >> 8));
    _nordhune = nordhune;
}

void SpiPacket::setReadEe8(quint8 nordhune, quint16 address)
{
    setEepromFrame(0xE0, nordhune, address, 0);
}

void SpiPacket::setReadEe16(quint8 nordhune, quint16 address)
{
    setEepromFrame(0xE1, nordhune, address, 0);
}

void SpiPacket::setWriteEe8(quint8 nordhune, quint16 address, quint16 value)
{
    setEepromFrame(0xE2, nordhune, address, value);
}

void SpiPacket::setWriteEe16(quint8 nordhune, quint16 address, quint16 value)
{
    setEepromFrame(0xE3, nordhune, address, value);
}

void SpiPacket::setReadRam16(quint8 nordhune, quint8 address)
{
    setFrame(0x66, 0x15, address, 0, 0);
    _nordhune = nordhune;
}

void SpiPacket::setWriteRam8(quint8 nordhune, quint8 address, quint16 value)
{
    setFrame(0x68, 0x13, address, quint8(value & 0xFF), quint8(value >> 8));
    _nordhune = nordhune;
}

bool SpiPacket::setUnioCommand(int command, int address, int value)
{
    const quint8 addressHigh = quint8((address >> 8) & 0xFF);
    const quint8 addressLow = quint8(address & 0xFF);
    switch (command) {
    case UNIO_READ:
        setFrame(unioControl(2, 2), quint8(command), addressHigh, addressLow, 0);
        return true;
    case UNIO_RDSR:
        setFrame(unioControl(1, 1), quint8(command), 0, 0, 0);
        return true;
    case UNIO_WRITE:
        setFrame(unioControl(3, 0), quint8(command), addressHigh, addressLow, quint8(value & 0xFF));
        return true;
    case UNIO_WRSR:
        setFrame(unioControl(1, 0), quint8(command), quint8(value & 0xFF), 0, 0);
        return true;
    case UNIO_CRRD:
    case UNIO_SETAL:
    case UNIO_ERAL:
    case UNIO_WRDI:
    case UNIO_WREN:
        setFrame(unioControl(0, 0), quint8(command), 0, 0, 0);
        return true;
    default:
        qWarning() << QStringLiteral("Initializing invalid UNIO command %1").arg(command);
        clear();
        return false;
    }
}

bool SpiPacket::isUnioCommand() const
{
    return getDataSize() > 0 && (getData()[0] & 0xE0) == 0x60;
}

bool SpiPacket::isTagUnioCommand() const
{
    return isUnioCommand() && (getData()[0] & 0x10) != 0;
}

int SpiPacket::getUnioReadCount() const
{
    return frameByte(*this, 0) & 3;
}

int SpiPacket::getUnioWriteCount() const
{
    return isUnioCommand() ? (getData()[0] >> 2) & 3 : 0;
}

bool SpiPacket::DV2_setHostCommand(
    quint8 address, quint8 command, const QByteArray& payload, int lengthField, bool flag)
{
    if (lengthField < 0 || lengthField > 7) {
        qWarning() << QStringLiteral("DV2 length field %1 does not fit in three bits").arg(lengthField);
        clear();
        return false;
    }
    if (payload.size() > kMaxDv2Payload)
        qWarning() << "Packet is too long, size shall be lower than or equal to 3";
    const quint8 b0 = quint8(((address >> 3) & 0x0F) | (flag ? 0x40 : 0));
    const quint8 b1 = quint8((lengthField & 7) | (command & 3) << 3 | (address & 7) << 5);
    auto payloadByte = [&payload](int i) { return i < payload.size() ? quint8(payload.at(i)) : quint8(0); };
    setFrame(b0, b1, payloadByte(0), payloadByte(1), payloadByte(2));
    return true;
}

bool SpiPacket::DV2_setReadCommand(quint8 address, quint8 reg, quint8 count, bool)
{
    return DV2_setHostCommand(address, DV2_READ, QByteArray(1, char(reg)), int(count) - 1, true);
}

bool SpiPacket::DV2_setWriteCommand(quint8 address, quint8 reg, const QByteArray& data, bool)
{
    return DV2_setHostCommand(address, DV2_WRITE, QByteArray(1, char(reg)) + data, data.size() - 1, true);
}

bool SpiPacket::DV2_setStatusCommand(quint8 a, quint8 b, quint8 c, bool set)
{
    QByteArray payload;
    payload.append(char(set ? (a | 0x80) : a));
    payload.append(char(b));
    payload.append(char(c));
    return DV2_setHostCommand(0, DV2_STATUS, payload, 1, true);
}

bool SpiPacket::DV2_setQueryCommand(quint8 address, const QByteArray& data)
{
    return DV2_setHostCommand(address, DV2_QUERY, data, data.size() - 1, true);
}

int SpiPacket::getAddress() const
{
    return (frameByte(*this, 0) & 0x0F) * 8 + (frameByte(*this, 1) >> 5);
}

int SpiPacket::getCommand() const
{
    return (frameByte(*this, 1) >> 3) & 3;
}

int SpiPacket::getPayloadLength() const
{
    return frameByte(*this, 1) & 7;
}

SpiPacket* SpiPacket::clone() const
{
    auto* copy = new SpiPacket();
    copy->copyFrom(this);
    copy->_command = _command;
    copy->_nordhune = _nordhune;
    return copy;
}

QString SpiPacket::getPacketTypeIdentString() const
{
    return QStringLiteral("SPI");
}

QString SpiPacket::getPacketInformation(PacketLookupTables*)
{
    if (getDataSize() == 0)
        return QString();
    const quint8 b0 = getData()[0];
    if (isUnioCommand()) {
        QString text = QStringLiteral("CBC_UNI_IO_CMD ");
        if (isTagUnioCommand())
            text += QStringLiteral("TAG ");
        return text + QStringLiteral("W%1 R%2 ").arg(getUnioWriteCount()).arg(getUnioReadCount());
    }
    if (b0 >= 0xC0) {
        const QString module = QStringLiteral("\tCL\t%1").arg(_nordhune);
        switch (b0) {
        case 0xC0:
            return QStringLiteral("GET STATUS");
        case 0xC1:
            return QStringLiteral("SYNC");
        case 0xE0:
            return QStringLiteral("CBC_REE8") + module;
        case 0xE1:
            return QStringLiteral("CBC_REE16") + module;
        case 0xE2:
            return QStringLiteral("CBC_WEE8") + module;
        case 0xE3:
            return QStringLiteral("CBC_WEE16") + module
                + QStringLiteral("\tVal: %1").arg(frameByte(*this, 3) | frameByte(*this, 4) << 8);
        case 0xF0:
            return QStringLiteral("FACTORY");
        case 0xFF:
            return QStringLiteral("CBC_SETPS");
        default:
            return QString();
        }
    }
    if (!isCommand())
        return QString();
    static const char* const dv2Names[] = {"QUERY\t", "READ\t", "WRITE\t", "STATUS\t"};
    return QString::fromLatin1(dv2Names[getCommand()])
        + QStringLiteral("A[%1]\t%2").arg(getAddress()).arg(getPayloadLength());
}

} // namespace tarvesk::proto
