#include "log_capture.h"
#include "packet_bytes.h"

#include "protocol/spi/spi_packet.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using tarvesk::proto::SpiPacket;
namespace proto = tarvesk::proto;

namespace {

using tarvesk::test::Bytes;
using tarvesk::test::bytesOf;

// A packet that has carried a longer frame before, with every bit set.
SpiPacket usedPacket()
{
    const std::vector<unsigned char> old(9, 0xFF);
    return SpiPacket(old.data(), int(old.size()));
}

struct FrameCase
{
    const char* name;
    std::function<bool(SpiPacket&)> build;
    Bytes bytes;
    int nordhune;
};

class SpiFrames : public ::testing::TestWithParam<FrameCase>
{
};

TEST_P(SpiFrames, AreWrittenWholeOverAnEarlierFrame)
{
    const FrameCase& c = GetParam();
    SpiPacket p = usedPacket();
    ASSERT_TRUE(c.build(p));
    EXPECT_EQ(bytesOf(p), c.bytes);
    EXPECT_EQ(p.getNordhune(), c.nordhune);
    EXPECT_TRUE(p.isCommand());
}

#define FRAME(call)                                                                                          \
    [](SpiPacket& p) {                                                                                       \
        call;                                                                                                \
        return true;                                                                                         \
    }

INSTANTIATE_TEST_SUITE_P(SpiPacket, SpiFrames,
    ::testing::Values(
        FrameCase {"read_ee8", FRAME(p.setReadEe8(2, 0x0123)), {0xE0, 0x01, 0x23, 0x00, 0x00}, 2},
        FrameCase {"read_ee16", FRAME(p.setReadEe16(2, 0x0123)), {0xE1, 0x01, 0x23, 0x00, 0x00}, 2},
        FrameCase {"write_ee8", FRAME(p.setWriteEe8(3, 0x0456, 0x0078)), {0xE2, 0x04, 0x56, 0x78, 0x00}, 3},
        FrameCase {"write_ee16", FRAME(p.setWriteEe16(1, 0x0456, 0xABCD)), {0xE3, 0x04, 0x56, 0xCD, 0xAB}, 1},
        FrameCase {"read_ram16", FRAME(p.setReadRam16(2, 0x40)), {0x66, 0x15, 0x40, 0x00, 0x00}, 2},
        FrameCase {"write_ram8", FRAME(p.setWriteRam8(1, 0x40, 0x1234)), {0x68, 0x13, 0x40, 0x34, 0x12}, 1},
        FrameCase {"unio_read", [](SpiPacket& p) { return p.setUnioCommand(3, 0x0010, 0); },
            {0x7A, 0x03, 0x00, 0x10, 0x00}, 1},
        FrameCase {"unio_rdsr", [](SpiPacket& p) { return p.setUnioCommand(5, 0x1234, 9); },
            {0x75, 0x05, 0x00, 0x00, 0x00}, 1},
        FrameCase {
            "unio_crrd", [](SpiPacket& p) { return p.setUnioCommand(6, 0, 0); }, {0x70, 0x06, 0, 0, 0}, 1},
        FrameCase {
            "unio_setal", [](SpiPacket& p) { return p.setUnioCommand(103, 0, 0); }, {0x70, 0x67, 0, 0, 0}, 1},
        FrameCase {"unio_write", [](SpiPacket& p) { return p.setUnioCommand(108, 0x0102, 0x33); },
            {0x7C, 0x6C, 0x01, 0x02, 0x33}, 1},
        FrameCase {
            "unio_eral", [](SpiPacket& p) { return p.setUnioCommand(109, 0, 0); }, {0x70, 0x6D, 0, 0, 0}, 1},
        FrameCase {"unio_wrsr", [](SpiPacket& p) { return p.setUnioCommand(110, 0, 0x0C); },
            {0x74, 0x6E, 0x0C, 0, 0}, 1},
        FrameCase {
            "unio_wrdi", [](SpiPacket& p) { return p.setUnioCommand(145, 0, 0); }, {0x70, 0x91, 0, 0, 0}, 1},
        FrameCase {
            "unio_wren", [](SpiPacket& p) { return p.setUnioCommand(150, 0, 0); }, {0x70, 0x96, 0, 0, 0}, 1},
        FrameCase {"dv2_read", [](SpiPacket& p) { return p.DV2_setReadCommand(0x55, 0x10, 2, false); },
            {0x4A, 0xA9, 0x10, 0x00, 0x00}, 1},
        FrameCase {"dv2_write",
            [](SpiPacket& p) { return p.DV2_setWriteCommand(0x7F, 0x20, QByteArray("\x01\x02", 2), true); },
            {0x4F, 0xF1, 0x20, 0x01, 0x02}, 1},
        FrameCase {"dv2_status_set",
            [](SpiPacket& p) { return p.DV2_setStatusCommand(0x01, 0x02, 0x03, true); },
            {0x40, 0x19, 0x81, 0x02, 0x03}, 1},
        FrameCase {"dv2_status", [](SpiPacket& p) { return p.DV2_setStatusCommand(0x01, 0x02, 0x03, false); },
            {0x40, 0x19, 0x01, 0x02, 0x03}, 1},
        FrameCase {"dv2_query",
            [](SpiPacket& p) { return p.DV2_setQueryCommand(0x08, QByteArray("\x09", 1)); },
            {0x41, 0x00, 0x09, 0x00, 0x00}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpiPacket, ConstructorsAndCommandTypes)
{
    EXPECT_EQ(SpiPacket().getDataSize(), 0);
    EXPECT_EQ(SpiPacket().getNordhune(), 1);
    EXPECT_FALSE(SpiPacket().isCommand());
    EXPECT_EQ(bytesOf(SpiPacket(SpiPacket::SPI_CMD_READ_EE16)), (Bytes {0xE1, 0, 0, 0, 0}));
    EXPECT_EQ(bytesOf(SpiPacket(SpiPacket::SPI_CMD_WRITE_EE16)), (Bytes {0xE3, 0, 0, 0, 0}));
    EXPECT_EQ(SpiPacket(SpiPacket::SPI_CMD_READ_EE8).getDataSize(), 0);
}

TEST(SpiPacket, UnioRecognitionDoesNotTakeEepromFrames)
{
    struct Row
    {
        int byte0;
        bool unio;
        bool tag;
        int writes;
        int reads;
    };
    for (const Row& r :
        {Row {0x60, true, false, 0, 0}, Row {0x7A, true, true, 2, 2}, Row {0x6D, true, false, 3, 1},
            Row {0xE0, false, false, 0, 0}, Row {0xE3, false, false, 0, 3}, Row {0xF0, false, false, 0, 0},
            Row {0x4A, false, false, 0, 2}, Row {0x20, false, false, 0, 0}}) {
        const unsigned char frame[] = {quint8(r.byte0), 0, 0, 0, 0};
        const SpiPacket p(frame, 5);
        EXPECT_EQ(p.isUnioCommand(), r.unio) << r.byte0;
        EXPECT_EQ(p.isTagUnioCommand(), r.tag) << r.byte0;
        EXPECT_EQ(p.getUnioWriteCount(), r.writes) << r.byte0;
        EXPECT_EQ(p.getUnioReadCount(), r.reads) << r.byte0;
    }
}

TEST(SpiPacket, InvalidInputIsRefusedWithAWarning)
{
    SpiPacket p = usedPacket();
    {
        tarvesk::test::LogCapture capture;
        EXPECT_FALSE(p.setUnioCommand(7, 0, 0));
        EXPECT_TRUE(capture.hasWarningContaining("Initializing invalid UNIO command 7"));
        EXPECT_EQ(p.getDataSize(), 0);
    }
    {
        tarvesk::test::LogCapture capture;
        ASSERT_TRUE(p.DV2_setHostCommand(0x01, 2, QByteArray("\x0A\x0B\x0C\x0D", 4), 3, true));
        EXPECT_TRUE(
            capture.hasWarningContaining("Packet is too long, size shall be lower than or equal to 3"));
        EXPECT_EQ(bytesOf(p), (Bytes {0x40, 0x33, 0x0A, 0x0B, 0x0C}));
    }
    {
        tarvesk::test::LogCapture capture;
        EXPECT_FALSE(p.DV2_setWriteCommand(0x01, 0x02, QByteArray(), true));
        EXPECT_EQ(p.getDataSize(), 0);
        EXPECT_FALSE(capture.warnings().isEmpty());
    }
}

TEST(SpiPacket, Dv2FieldsRoundTripForEveryAddressAndCommand)
{
    SpiPacket p;
    for (int address = 0; address < 128; ++address) {
        for (int command = 0; command < 4; ++command) {
            ASSERT_TRUE(p.DV2_setHostCommand(
                quint8(address), quint8(command), QByteArray(1, 'x'), command + 2, false));
            ASSERT_EQ(p.getAddress(), address);
            ASSERT_EQ(p.getCommand(), command);
            ASSERT_EQ(p.getPayloadLength(), command + 2);
            ASSERT_EQ(p.getUint8(0) & 0x40, 0);
        }
    }
}

TEST(SpiPacket, Descriptions)
{
    struct Row
    {
        std::function<void(SpiPacket&)> build;
        QString text;
    };
    const Row rows[] = {
        {[](SpiPacket& p) { p.setUnioCommand(3, 0x10, 0); }, "CBC_UNI_IO_CMD TAG W2 R2 "},
        {[](SpiPacket& p) { p.setReadEe8(2, 0x10); }, "CBC_REE8\tCL\t2"},
        {[](SpiPacket& p) { p.setReadEe16(1, 0x10); }, "CBC_REE16\tCL\t1"},
        {[](SpiPacket& p) { p.setWriteEe8(1, 0x10, 5); }, "CBC_WEE8\tCL\t1"},
        {[](SpiPacket& p) { p.setWriteEe16(3, 0x10, 0x1234); }, "CBC_WEE16\tCL\t3\tVal: 4660"},
        {[](SpiPacket& p) { p.DV2_setReadCommand(0x55, 0x10, 2, false); }, "READ\tA[85]\t1"},
        {[](SpiPacket& p) { p.DV2_setStatusCommand(1, 2, 3, false); }, "STATUS\tA[0]\t1"},
        {[](SpiPacket& p) { p.DV2_setQueryCommand(9, QByteArray(2, 'q')); }, "QUERY\tA[9]\t1"},
    };
    for (const Row& r : rows) {
        SpiPacket p;
        r.build(p);
        EXPECT_EQ(p.getPacketInformation(nullptr), r.text);
    }
    for (int b0 : {0xC0, 0xC1, 0xF0, 0xFF}) {
        const unsigned char frame[] = {quint8(b0), 0, 0, 0, 0};
        SpiPacket p(frame, 5);
        EXPECT_EQ(p.getPacketInformation(nullptr),
            b0 == 0xC0       ? "GET STATUS"
                : b0 == 0xC1 ? "SYNC"
                : b0 == 0xF0 ? "FACTORY"
                             : "CBC_SETPS");
    }
    EXPECT_EQ(SpiPacket().getPacketTypeIdentString(), "SPI");
}

TEST(SpiPacket, CloneKeepsEverything)
{
    std::vector<unsigned char> longFrame(300, 0x5A);
    SpiPacket p(longFrame.data(), int(longFrame.size()));
    p.setNordhune(3);
    p.setCommandFlag(true);
    p.setFlags(proto::PACKET_FLAG_FRAME_ERROR);
    std::unique_ptr<SpiPacket> copy(p.clone());
    EXPECT_EQ(copy->getDataSize(), 300);
    EXPECT_EQ(bytesOf(*copy), bytesOf(p));
    EXPECT_EQ(copy->getNordhune(), 3);
    EXPECT_TRUE(copy->isCommand());
    EXPECT_TRUE(copy->isFrameError());
}

} // namespace
