// Feeds arbitrary poll replies to the monitor-stream reassembler and describes
// every packet it emits. The input is cut into 64-byte reports; when the first
// input byte is even, each report is made a poll reply with stream data so that
// most runs reach the record parser.
#include "protocol/raw_packet.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/usb_vandrel_packet_factory.h"
#include "protocol/usb/vandrel_commands.h"
#include "quiet_log.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

using namespace tarvesk::proto;

namespace {

void inspect(RawPacket* packet)
{
    if (packet->getDataSize() > RawPacket::MaxDataSize)
        std::abort();
    // Describing a packet must leave its bytes and flags as they came.
    const QByteArray bytes = packet->getRawDataString();
    const quint8 flags = packet->getFlags();
    packet->calcVariables(nullptr);
    packet->getPacketInformation(nullptr);
    packet->getPacketInformation(nullptr);
    packet->getPacketTypeIdentString();
    packet->answer_isValid(CHECK_IGNORE_NONE);
    if (packet->getRawDataString() != bytes || packet->getFlags() != flags)
        std::abort();
    RawPacket* copy = packet->clone();
    if (!copy->isEqual(packet) || copy->getFlags() != flags)
        std::abort();
    delete copy;
    delete packet;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogOnce();
    if (size == 0)
        return 0;

    const bool forcePoll = (data[0] & 1) == 0;
    ++data;
    --size;

    UsbVandrelPacketFactory factory;
    QObject::connect(&factory, &UsbVandrelPacketFactory::newPacket, &inspect);
    for (size_t at = 0; at < size; at += UsbPacket::ReportSize) {
        unsigned char report[UsbPacket::ReportSize] = {};
        const size_t n = qMin<size_t>(UsbPacket::ReportSize, size - at);
        for (size_t i = 0; i < n; ++i)
            report[i] = data[at + i];
        if (forcePoll) {
            report[0] = vandrel::ReplyBit | vandrel::VD_CMD_POLL_MONITOR;
            if (report[1] == vandrel::PollNoStreamData)
                report[1] = vandrel::PollMoreData;
        }
        const int reportSize = forcePoll ? int(UsbPacket::ReportSize) : int(n);
        UsbVandrelPacket reply(report, reportSize);
        factory.handlePacket(&reply);
        if (factory.bufferedBytes() < 0 || factory.bufferedBytes() > UsbVandrelPacketFactory::BufferSize)
            std::abort();
    }
    factory.handleBuffer();
    return 0;
}
