#include "protocol/usb/vandrel_dorvane_request.h"

#include "protocol/usb/vandrel_commands.h"
#include "protocol/wystrel/wystrel_command_bytes.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <QCoreApplication>

#include <iterator>

namespace tarvesk::proto {

namespace {

constexpr quint8 SubCommandBit = 0x10;
// Start code, command byte, two zero bytes and the checksum around the request.
constexpr int FrameOverhead = 5;

constexpr const char* ErrorNames[] = {"VDERR_APPLPARAM_RANGE", "VDERR_STARTCODE", "VDERR_CHECKSUM",
    "VDERR_UNSUPP_CMD", "VDERR_MSTR_CL_IDX", "VDERR_MSTR_SPICMD", "VDERR_PNRANGE", "VDERR_WYSTRELOVERRUN",
    "VDERR_SLAVE_NOTCONNECTED", "VDERR_SLAVE_CMD_NOTRETRIEVED", "VDERR_SLAVE_NO_REPLY_RECEIVED",
    "VDERR_SLAVE_DATA_NOTRETRIEVED", "VDERR_DV1_HOST", "VDERR_DV2_ERROR", "VDERR_DV2_COMMAND_NOT_PLACED",
    "VDERR_DV2_HOST_TIMEOUT_ERROR", "VDERR_DV2_HOST_EXTRA_BYTE_RX", "VDERR_INVALID_MODE"};
static_assert(std::size(ErrorNames) == vandrel::VDERR_INVALID_MODE + 1);

} // namespace

WystrelPacket* buildVandrelDorvaneFrame(const RawPacket& request, bool read, bool corvalt)
{
    if (request.getDataSize() + FrameOverhead > RawPacket::MaxDataSize)
        return nullptr;
    auto* frame = new WystrelPacket();
    quint8 command = wystrel::CommandBytes[read ? WystrelPacket::WY_CMD_READ : WystrelPacket::WY_CMD_WRITE];
    if (corvalt)
        command |= SubCommandBit;
    for (quint8 b : {WystrelPacket::StartCode, command, quint8(0), quint8(0)})
        frame->appendByte(b);
    frame->appendData(4, &request);
    frame->appendByte(0);
    frame->checksum_recalculate();
    return frame;
}

QString vandrelDorvaneErrorName(int code)
{
    if (code >= 0 && code < int(std::size(ErrorNames)))
        return QString::fromLatin1(ErrorNames[code]);
    return QCoreApplication::translate("UsbVandrelDorvaneInterface", "Unknown errorcode: %1").arg(code);
}

} // namespace tarvesk::proto
