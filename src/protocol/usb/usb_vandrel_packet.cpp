#include "protocol/usb/usb_vandrel_packet.h"

#include "protocol/packet_bytes.h"

namespace tarvesk::proto {

namespace {

struct CommandName
{
    vandrel::Command command;
    const char* name;
};

// The commands a packet log names; the others are logged without a name.
constexpr CommandName kCommandNames[] = {
    {vandrel::VD_CMD_DONGLE_VERSION, "GET DONGLE VERSION (legacy)"},
    {vandrel::VD_CMD_LEGACY_DMX, "WYSTREL"},
    {vandrel::VD_CMD_DMX_3, "DMX"},
    {vandrel::VD_CMD_DMX_4, "DMX"},
    {vandrel::VD_CMD_DMX_RECV_BUFFER, "GET DMX RECV BUFF (legacy)"},
    {vandrel::VD_CMD_SET_USER_FLAGS, "VD_CMD_SET_USER_FLAGS"},
    {vandrel::VD_CMD_GET_USER_FLAGS, "VD_CMD_GET_USER_FLAGS"},
    {vandrel::VD_CMD_RESET, "VD_CMD_RESET"},
    {vandrel::VD_CMD_GET_DMX, "VD_CMD_GET_DMX"},
    {vandrel::VD_CMD_DALI, "DALI command"},
    {vandrel::VD_CMD_DALI_GET_DATA, "DALI get data"},
    {vandrel::VD_CMD_DALI_STATUS, "DALI get network status"},
    {vandrel::VD_CMD_GET_PARAMETER, "Get parameter"},
    {vandrel::VD_CMD_SET_PARAMETER, "Set parameter"},
    {vandrel::VD_CMD_STATUS_UPDATE, "VD_CMD_STATUS_UPDATE"},
    {vandrel::VD_CMD_DATA, "Data"},
};

QString commandName(int command)
{
    for (const CommandName& entry : kCommandNames) {
        if (entry.command == command)
            return QString::fromLatin1(entry.name);
    }
    return QString();
}

} // namespace

UsbVandrelPacket::UsbVandrelPacket() = default;

UsbVandrelPacket::UsbVandrelPacket(const unsigned char* data, int size)
    : UsbPacket(data, size)
{ }

bool UsbVandrelPacket::isReply() const
{
    return (frameByte(*this, 0) & vandrel::ReplyBit) != 0;
}

bool UsbVandrelPacket::isNotReady() const
{
    return (frameByte(*this, 0) & vandrel::NotReadyBit) != 0;
}

bool UsbVandrelPacket::isUnsupported() const
{
    return (frameByte(*this, 0) & vandrel::UnsupportedBit) != 0;
}

int UsbVandrelPacket::getCommand() const
{
    return frameByte(*this, 0) & vandrel::CommandMask;
}

QString UsbVandrelPacket::getPacketLogString() const
{
    const bool reply = isReply();
    QString text = reply ? QStringLiteral("Ans: ") : QStringLiteral("Cmd: ");
    text += commandName(getCommand());
    if (!reply)
        return text;
    if (getCommand() == vandrel::VD_CMD_DALI && isNotReady()) {
        if (frameByte(*this, 1) == vandrel::DaliNoSupply)
            text += QStringLiteral(" Error: No DALI supply");
        else if (frameByte(*this, 1) == vandrel::DaliBusy)
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
