#include "protocol/usb/usb_vandrel_packet.h"

#include <gtest/gtest.h>

#include <memory>

namespace proto = tarvesk::proto;
using proto::UsbVandrelPacket;

namespace {

UsbVandrelPacket reportOf(int byte0, int byte1)
{
    unsigned char report[proto::UsbPacket::ReportSize] = {quint8(byte0), quint8(byte1)};
    return UsbVandrelPacket(report, proto::UsbPacket::ReportSize);
}

TEST(UsbVandrelPacket, ReplyBitsAndCommand)
{
    const UsbVandrelPacket p = reportOf(0xEA, 0);
    EXPECT_TRUE(p.isReply());
    EXPECT_TRUE(p.isNotReady());
    EXPECT_TRUE(p.isUnsupported());
    EXPECT_EQ(p.getCommand(), 10);
    EXPECT_EQ(p.getPacketType(), proto::PACKET_TYPE_USB);
    EXPECT_EQ(p.getPacketTypeIdentString(), "USB");
    EXPECT_EQ(UsbVandrelPacket().getPacketType(), proto::PACKET_TYPE_NOT_SET);
    EXPECT_EQ(UsbVandrelPacket().getDataSize(), 0);
}

TEST(UsbVandrelPacket, LogStrings)
{
    struct Row
    {
        int byte0;
        int byte1;
        const char* text;
    };
    for (const Row& r : {Row {0xAA, 1, "Ans: DALI command Error: No DALI supply (Error: not ready)"},
             Row {0xAA, 2, "Ans: DALI command Error: DALI command busy (Error: not ready)"},
             Row {0xAA, 0, "Ans: DALI command (Error: not ready)"}, Row {0x8A, 1, "Ans: DALI command"},
             Row {0x0A, 1, "Cmd: DALI command"}, Row {0x2A, 1, "Cmd: DALI command"},
             Row {0xC3, 0, "Ans: DMX (Error: unsupported)"},
             Row {0xE1, 0, "Ans: GET DONGLE VERSION (legacy) (Error: not ready) (Error: unsupported)"},
             Row {0x02, 0, "Cmd: WYSTREL"}, Row {0x04, 0, "Cmd: DMX"},
             Row {0x05, 0, "Cmd: GET DMX RECV BUFF (legacy)"}, Row {0x06, 0, "Cmd: VD_CMD_SET_USER_FLAGS"},
             Row {0x07, 0, "Cmd: VD_CMD_GET_USER_FLAGS"}, Row {0x08, 0, "Cmd: VD_CMD_RESET"},
             Row {0x09, 0, "Cmd: VD_CMD_GET_DMX"}, Row {0x0B, 0, "Cmd: DALI get data"},
             Row {0x0C, 0, "Cmd: DALI get network status"}, Row {0x0D, 0, "Cmd: Get parameter"},
             Row {0x0E, 0, "Cmd: Set parameter"}, Row {0x0F, 0, "Cmd: VD_CMD_STATUS_UPDATE"},
             Row {0x13, 0, "Cmd: Data"}, Row {0x14, 0, "Cmd: "}, Row {0x94, 0, "Ans: "}}) {
        EXPECT_EQ(reportOf(r.byte0, r.byte1).getPacketLogString(), r.text) << r.byte0;
    }
}

TEST(UsbVandrelPacket, CloneIsAVandrelReport)
{
    UsbVandrelPacket p = reportOf(0x8A, 1);
    p.setIndex(3);
    std::unique_ptr<proto::RawPacket> copy(p.clone());
    auto* report = dynamic_cast<UsbVandrelPacket*>(copy.get());
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->getDataSize(), 64);
    EXPECT_EQ(report->getIndex(), 3);
    EXPECT_TRUE(report->isReply());
}

} // namespace
