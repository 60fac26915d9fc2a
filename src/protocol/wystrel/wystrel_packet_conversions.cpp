#include "protocol/wystrel/wystrel_packet.h"

#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/packet_bytes.h"
#include "protocol/spi/spi_packet.h"
#include "protocol/wystrel/wystrel_command_bytes.h"

#include <QDebug>

namespace tarvesk::proto {

namespace {

// Where the Dorvane request sits in a READ/WRITE frame: byte 5 says which kind.
enum DorvaneCarrier : quint8 {
    CARRIES_BRISQUEL = 8,
    CARRIES_BRIDGE = 9,
    CARRIES_BRASK = 10,
    CARRIES_BRIDGE_ALT = 11
};

} // namespace

WystrelPacket::WystrelPacket(const SpiPacket* spi)
{
    buildFromSpi(spi);
}

WystrelPacket::WystrelPacket(const DaliPacket* dali)
{
    buildFromDali(dali);
}

bool WystrelPacket::buildFromSpi(const SpiPacket* spi)
{
    clear();
    // Bytes 0-2, the SPI frame from byte 3, then the checksum.
    if (spi == nullptr || spi->getDataSize() < SpiPacket::FrameSize || spi->getDataSize() + 4 > MaxDataSize) {
        qWarning() << "SPI packet cannot be carried in a Wystrel frame";
        return false;
    }
    appendByte(StartCode);
    appendByte(wystrel::CommandBytes[WY_CMD_SPI]);
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
        = dorvane->isReadCommand() ? wystrel::CommandBytes[WY_CMD_READ] : wystrel::CommandBytes[WY_CMD_WRITE];
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

} // namespace tarvesk::proto
