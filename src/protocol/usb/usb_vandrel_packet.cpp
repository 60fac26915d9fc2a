#include "protocol/usb/usb_vandrel_packet.h"

#include "protocol/packet_bytes.h"

namespace tarvesk::proto {

namespace {

QString commandName(int command)
{
    switch (command) {
    case 1:
        return QStringLiteral("GET DONGLE VERSION (legacy)");
    case 2:
        return QStringLiteral("WYSTREL");
    case 3:
    case 4:
        return QStringLiteral("DMX");
    case 5:
        return QStringLiteral("GET DMX RECV BUFF (legacy)");
    case 6:
        return QStringLiteral("VD_CMD_SET_USER_FLAGS");
    case 7:
        return QStringLiteral("VD_CMD_GET_USER_FLAGS");
    case 8:
        return QStringLiteral("VD_CMD_RESET");
    case 9:
        return QStringLiteral("VD_CMD_GET_DMX");
    case 10:
        return QStringLiteral("DALI command");
    case 11:
        return QStringLiteral("DALI get data");
    case 12:
        return QStringLiteral("DALI get network status");
    case 13:
        return QStringLiteral("Get parameter");
    case 14:
        return QStringLiteral("Set parameter");
    case 15:
        return QStringLiteral("VD_CMD_STATUS_UPDATE");
    case 19:
        return QStringLiteral("Data");
    default:
        return QString();
    }
}

} // namespace

UsbVandrelPacket::UsbVandrelPacket() = default;

UsbVandrelPacket::UsbVandrelPacket(const unsigned char* data, int size)
    : UsbPacket(data, size)
{ }

bool UsbVandrelPacket::isReply() const
{
    return (frameByte(*this, 0) & ReplyBit) != 0;
}

bool UsbVandrelPacket::isNotReady() const
{
    return (frameByte(*this, 0) & NotReadyBit) != 0;
}

bool UsbVandrelPacket::isUnsupported() const
{
    return (frameByte(*this, 0) & UnsupportedBit) != 0;
}

int UsbVandrelPacket::getCommand() const
{
    return frameByte(*this, 0) & CommandMask;
}

QString UsbVandrelPacket::getPacketLogString() const
{
    const bool reply = isReply();
    QString text = reply ? QStringLiteral("Ans: ") : QStringLiteral("Cmd: ");
    text += commandName(getCommand());
    if (!reply)
        return text;
    if (getCommand() == VD_CMD_DALI && isNotReady()) {
        if (frameByte(*this, 1) == 1)
            text += QStringLiteral(" Error: No DALI supply");
        else if (frameByte(*this, 1) == 2)
            text += QStringLiteral(" Error: DALI command busy");
    }
    if (isNotReady())
        text += QStringLiteral(" (Error: not ready)");
    if (isUnsupported())
        text += QStringLiteral(" (Error: unsupported)");
    return text;
}

UsbVandrelPacket* UsbVandrelPacket::clone() const
{
    auto* copy = new UsbVandrelPacket(getData(), getDataSize());
    copy->copyFrom(this);
    return copy;
}

} // namespace tarvesk::proto
