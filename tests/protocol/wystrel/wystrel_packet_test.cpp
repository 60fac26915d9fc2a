#include "log_capture.h"
#include "packet_bytes.h"

#include "core/itf_error.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/spi/spi_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using tarvesk::proto::WystrelPacket;
namespace proto = tarvesk::proto;
namespace core = tarvesk::core;

namespace {

using tarvesk::test::Bytes;
using tarvesk::test::bytesOf;

// A Wystrel frame closes with the sum of all its other bytes, modulo 256.
Bytes withChecksum(Bytes frame)
{
    int sum = 0;
    for (int b : frame)
        sum += b;
    frame.push_back(sum & 0xFF);
    return frame;
}

WystrelPacket frameOf(const Bytes& bytes)
{
    std::vector<unsigned char> raw(bytes.cbegin(), bytes.cend());
    return WystrelPacket(raw.data(), int(raw.size()));
}

struct BuilderCase
{
    const char* name;
    std::function<void(WystrelPacket&)> build;
    Bytes body; // bytes before the checksum
};

class WystrelBuilders : public ::testing::TestWithParam<BuilderCase>
{
};

TEST_P(WystrelBuilders, WriteTheWholeFrameAndItsChecksum)
{
    const BuilderCase& c = GetParam();
    // Builders start from a used packet: nothing of the earlier frame may remain.
    WystrelPacket p = frameOf(Bytes(20, 0xEE));
    c.build(p);
    EXPECT_EQ(bytesOf(p), withChecksum(c.body));
    EXPECT_TRUE(p.checksum_isValid());
}

INSTANTIATE_TEST_SUITE_P(WystrelPacket, WystrelBuilders,
    ::testing::Values(BuilderCase {"start_app", [](WystrelPacket& p) { p.bootloader_setStartApp(); },
                          {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFF, 0x00}},
        BuilderCase {"read_sys_type", [](WystrelPacket& p) { p.bootloader_setReadSysType(); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFE, 0x00}},
        BuilderCase {"factory_init", [](WystrelPacket& p) { p.bootloader_setFactoryInit(); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFD, 0x00}},
        BuilderCase {"read_no_pages", [](WystrelPacket& p) { p.bootloader_setReadNoPages(3); },
            {0xD0, 0x18, 0x00, 0x03, 0xFD, 0x01, 0xFC, 0x00}},
        BuilderCase {"check_checksum", [](WystrelPacket& p) { p.bootloader_setCheckChecksum(7); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x07, 0x00}},
        BuilderCase {"check_checksum_zero", [](WystrelPacket& p) { p.bootloader_setCheckChecksum(0); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x01, 0x00}},
        BuilderCase {"check_checksum_limited", [](WystrelPacket& p) { p.bootloader_setCheckChecksum(300); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x0F, 0x00}},
        BuilderCase {"erase_page", [](WystrelPacket& p) { p.bootloader_setErasePage(4); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x24, 0x00}},
        BuilderCase {"erase_page_zero", [](WystrelPacket& p) { p.bootloader_setErasePage(0); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x21, 0x00}},
        BuilderCase {"erase_page_limited", [](WystrelPacket& p) { p.bootloader_setErasePage(200); },
            {0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x2F, 0x00}},
        BuilderCase {"page_info_first",
            [](WystrelPacket& p) { p.bootloader_setReadPageInfoFirst(0x1234, 2); },
            {0xD0, 0x18, 0x00, 0x02, 0xFD, 0x03, 0x12, 0x00}},
        BuilderCase {"page_info_second",
            [](WystrelPacket& p) { p.bootloader_setReadPageInfoSecond(0x1234, 2); },
            {0xD0, 0x18, 0x00, 0x02, 0xFD, 0x04, 0x12, 0x00}},
        BuilderCase {"read_row", [](WystrelPacket& p) { p.bootloader_setReadRow(0x12F7, 1); },
            {0xD0, 0x18, 0x00, 0x01, 0xFE, 0x12, 0xE0, 0x00}},
        BuilderCase {"write_row",
            [](WystrelPacket& p) { ASSERT_EQ(p.bootloader_setWriteRow(0x1240, "0a0B", 1), 0); },
            {0xD0, 0x18, 0x00, 0x01, 0xFF, 0x12, 0x40, 0x0A, 0x0B, 0x00}},
        BuilderCase {"prime_unlock", [](WystrelPacket& p) { p.special_setPrimeUnlock(); },
            {0xD0, 0x0E, 0x00, 0x00, 0xFE, 0x00, 0xC3, 0x00}},
        BuilderCase {"enter_bootloader", [](WystrelPacket& p) { p.special_setEnterBootloader(); },
            {0xD0, 0x0E, 0x00, 0x00, 0xFE, 0x00, 0xE6, 0x00}},
        BuilderCase {"p254", [](WystrelPacket& p) { p.special_setSetP254(0xABCD); },
            {0xD0, 0x0E, 0x00, 0x00, 0xFE, 0xAB, 0xCD, 0x00}},
        BuilderCase {"temp_correction", [](WystrelPacket& p) { p.special_setWriteTempCorrection(5); },
            {0xD0, 0x0E, 0x00, 0x00, 0xFE, 0x00, 0x85, 0x00}},
        BuilderCase {"temp_correction_limited",
            [](WystrelPacket& p) { p.special_setWriteTempCorrection(100); },
            {0xD0, 0x0E, 0x00, 0x00, 0xFE, 0x00, 0xBF, 0x00}},
        // FIND, the READ command with its sub-command bit: the parameter after 0x1234.
        BuilderCase {"find_next",
            [](WystrelPacket& p) {
                p = WystrelPacket(WystrelPacket::WY_CMD_READ);
                p.cmd_setSubCommand(true);
                p.param_setNumber(0x1234);
                p.checksum_recalculate();
            },
            {0xD0, 0x1D, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00}},
        BuilderCase {"write_serial_number",
            [](WystrelPacket& p) {
                p = WystrelPacket(WystrelPacket::WY_CMD_WSNUM);
                p.setUid(0x80A1B2C3);
                p.checksum_recalculate();
            },
            {0xD0, 0x09, 0x00, 0x00, 0x80, 0xA1, 0xB2, 0xC3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WystrelPacket, CommandTypesAndWorkedChecksums)
{
    const int commandBytes[] = {0x0B, 0x18, 0x08, 0x09, 0x0A, 0x0C, 0x0D, 0x0E};
    for (int type = 0; type < 8; ++type) {
        const WystrelPacket p(static_cast<WystrelPacket::WystrelCommandType>(type));
        EXPECT_EQ(bytesOf(p), withChecksum({0xD0, commandBytes[type], 0, 0, 0, 0, 0, 0})) << type;
    }
    EXPECT_EQ(WystrelPacket(WystrelPacket::WY_CMD_READ).getHexString(), "D00D000000000000DD");
}

TEST(WystrelPacket, WriteRowRefusesBadHex)
{
    WystrelPacket p(WystrelPacket::WY_CMD_READ);
    tarvesk::test::LogCapture capture;
    EXPECT_EQ(p.bootloader_setWriteRow(0x100, "0G", 1), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(p.getDataSize(), 0);
    EXPECT_EQ(p.bootloader_setWriteRow(0x100, QString(2 * 1020, 'a'), 1), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(p.getDataSize(), 0);
}

TEST(WystrelPacket, SkipCountAndLid)
{
    WystrelPacket p(WystrelPacket::WY_CMD_READ);
    p.setLid(0x1234);
    EXPECT_EQ(p.getUint8(2), 0x12);
    EXPECT_EQ(p.getUint8(3), 0x34);

    p.setSkipCount(3);
    EXPECT_EQ(p.getUint8(1), 0x85);
    EXPECT_EQ(p.getSkipCount(), 3);
    EXPECT_TRUE(p.cmd_isSkip());
    EXPECT_TRUE(p.cmd_isRead());
    EXPECT_TRUE(p.isCommand());
    p.setLid(0xABCD); // a skip frame keeps its count in byte 2
    EXPECT_EQ(p.getUint8(2), 3);
    EXPECT_EQ(p.getUint8(3), 0xCD);
    p.setSkipCount(5); // already a skip frame: only the count changes
    EXPECT_EQ(p.getUint8(1), 0x85);

    p.setSkipCount(0);
    EXPECT_EQ(p.getUint8(1), 0x0D);
    EXPECT_FALSE(p.cmd_isSkip());
    EXPECT_TRUE(p.isCommand());

    WystrelPacket spi(WystrelPacket::WY_CMD_SPI);
    spi.setSkipCount(2);
    spi.setLid(0x1234);
    EXPECT_EQ(bytesOf(spi), bytesOf(WystrelPacket(WystrelPacket::WY_CMD_SPI)));
}

TEST(WystrelPacket, CommandByteRules)
{
    EXPECT_TRUE(WystrelPacket::isAnswerCommandByte(0x8D));
    EXPECT_FALSE(WystrelPacket::isAnswerCommandByte(0x0D));
    EXPECT_TRUE(WystrelPacket::isAnswerCommandByte(0x05)); // skip frame answer
    EXPECT_TRUE(WystrelPacket::isSkipCommandByte(0x85));
    EXPECT_TRUE(WystrelPacket::checkCommandType(0x8E, 14));
    EXPECT_TRUE(WystrelPacket::isSetpointCommandByte(0));

    struct Row
    {
        int command;
        const char* name;
    };
    for (const Row& r :
        {Row {0x08, "GUID"}, Row {0x18, "BOOT LOADER"}, Row {0x58, "GUID"}, Row {0x09, "WSNUM"},
            Row {0x0A, "CHECK UID (low)"}, Row {0x1A, "CHECK UID (high)"}, Row {0x0B, "SPI"},
            Row {0x1B, "Undefined"}, Row {0x0C, "UNMUTE ALL"}, Row {0x1C, "MUTE"}, Row {0x0D, "READ"},
            Row {0x1D, "FIND"}, Row {0x0E, "WRITE"}, Row {0x0F, "NOP"}, Row {0x1F, "SHORT"}}) {
        EXPECT_EQ(frameOf(withChecksum({0xD0, r.command, 0, 0, 0, 0, 0, 0})).getCommandName(), r.name)
            << r.command;
    }

    const WystrelPacket flagged = frameOf(withChecksum({0xD0, 0xEE, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(flagged.getFlagString(), "AES");
    EXPECT_TRUE(flagged.isFrameError()); // a received frame with the error bit
    EXPECT_EQ(flagged.getPacketTypeIdentString(), "WY_ANS");
    EXPECT_EQ(WystrelPacket(WystrelPacket::WY_CMD_READ).getFlagString(), "   ");
    EXPECT_EQ(WystrelPacket(WystrelPacket::WY_CMD_READ).getPacketTypeIdentString(), "WY_CMD");

    WystrelPacket sub(WystrelPacket::WY_CMD_GUID);
    sub.cmd_setSubCommand(true);
    EXPECT_TRUE(sub.cmd_isBootLoader());
    EXPECT_TRUE(sub.checksum_isValid());
}

struct AnswerCase
{
    const char* name;
    Bytes bytes;
    int ignore;
    int status;
};

class WystrelAnswer : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(WystrelAnswer, IsValidatedInOrder)
{
    const AnswerCase& c = GetParam();
    EXPECT_EQ(frameOf(c.bytes).answer_isValid(proto::PacketCheckIgnore(c.ignore)), c.status);
}

const Bytes kAnswer = withChecksum({0xD0, 0x8D, 0, 0, 4, 0, 0x10, 0});
Bytes badChecksum()
{
    Bytes b = kAnswer;
    b.back() ^= 0xFF;
    return b;
}

INSTANTIATE_TEST_SUITE_P(WystrelPacket, WystrelAnswer,
    ::testing::Values(AnswerCase {"valid", kAnswer, 0, 0},
        AnswerCase {"alternative_start_code", withChecksum({0xD1, 0x8D, 0, 0, 4, 0, 0x10, 0}), 0, 0},
        AnswerCase {"short", {0xD0, 0x8D, 0x5D}, 0, core::ITF_ERR_PACKET_LENGTH},
        AnswerCase {
            "start_code", withChecksum({0xD2, 0x8D, 0, 0, 4, 0, 0x10, 0}), 0, core::ITF_ERR_PACKET_STARTCODE},
        AnswerCase {"start_code_ignored", withChecksum({0xD2, 0x8D, 0, 0, 4, 0, 0x10, 0}),
            proto::CHECK_IGNORE_STARTCODE, 0},
        AnswerCase {
            "command", withChecksum({0xD0, 0x0D, 0, 0, 4, 0, 0x10, 0}), 0, core::ITF_ERR_PACKET_NOT_ANSWER},
        AnswerCase {"checksum", badChecksum(), 0, core::ITF_ERR_PACKET_CHECKSUM},
        AnswerCase {"checksum_ignored", badChecksum(), proto::CHECK_IGNORE_CHECKSUM, 0},
        AnswerCase {"short_length_ignored", {0xD0, 0x8D, 0x5D}, proto::CHECK_IGNORE_LENGTH,
            core::ITF_ERR_PACKET_CHECKSUM}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WystrelPacket, UidOfAGuidAnswer)
{
    EXPECT_EQ(frameOf(withChecksum({0xD0, 0x88, 0x00, 0x00, 0x80, 0xA1, 0xB2, 0xC3})).getUid(), 0x80A1B2C3u);
    EXPECT_EQ(frameOf({0xD0, 0x88, 0x00, 0x00, 0x12, 0x34}).getUid(), 0x12340000u); // missing bytes read 0
}

TEST(WystrelPacket, ParameterValues)
{
    WystrelPacket p = frameOf(withChecksum({0xD0, 0x8D, 0, 0, 4, 0, 0x10, 0}));
    EXPECT_EQ(p.param_getNumber(), 4);
    EXPECT_EQ(p.param_getValue(false, true, false), 1);
    EXPECT_EQ(p.param_getValue(false, false, false), 16);

    const WystrelPacket start = frameOf(withChecksum({0xD0, 0x8D, 0, 0, 2, 0, 0x34, 0x12}));
    EXPECT_EQ(start.param_getValue(false, true, false), 0x1234 & 511);
    EXPECT_EQ(start.param_getValue(false, false, false), 0x1234);
    EXPECT_EQ(start.param_getValue(true, false, false), 0x3412);
    EXPECT_EQ(start.param_getValue(false, true, true), 0x1234);

    const WystrelPacket interpol = frameOf(withChecksum({0xD0, 0x8D, 0, 0, 55, 0, 0xFF, 0x12}));
    EXPECT_EQ(interpol.param_getValue(false, true, false), 15);
    // A WRITE frame reads its value raw.
    const WystrelPacket write = frameOf(withChecksum({0xD0, 0x0E, 0, 0, 55, 0, 0xFF, 0x12}));
    EXPECT_EQ(write.param_getValue(false, true, false), 0x12FF);

    WystrelPacket built(WystrelPacket::WY_CMD_WRITE);
    built.param_setNumber(0x0102);
    built.param_setValue(0xBEEF);
    built.checksum_recalculate();
    EXPECT_EQ(bytesOf(built), withChecksum({0xD0, 0x0E, 0, 0, 0x02, 0x01, 0xEF, 0xBE}));

    EXPECT_EQ(frameOf(withChecksum({0xD0, 0xCD, 0, 0, 4, 0, 7, 0})).getBrisquelErrorCode(), -307);
    EXPECT_EQ(WystrelPacket::param_getName(18), "Wystrel compatibility");
    EXPECT_EQ(WystrelPacket::param_getName(7), "");
    EXPECT_EQ(proto::wystrelParameterCount(), 69);
}

TEST(WystrelPacket, BootloaderAnswerReaders)
{
    quint16 a16 = 0, b16 = 0;
    quint8 a = 0, b = 0, c = 0;
    const WystrelPacket sys = frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0x34, 0x52, 0x78}));
    ASSERT_EQ(sys.bootloader_getReadSysType(a16, b16), 0);
    EXPECT_EQ(a16, 0x0234);
    EXPECT_EQ(b16, 0x0578);
    ASSERT_EQ(sys.bootloader_getReadNoPages(a16, a), 0);
    EXPECT_EQ(a16, 0x5278);
    EXPECT_EQ(a, 0x35);

    ASSERT_EQ(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0x21, 0x02, 9})).bootloader_getPageInfoFirst(a16, a, b),
        0);
    EXPECT_EQ(a16, 0x21);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 9);
    EXPECT_EQ(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0xFF, 0x3F, 0})).bootloader_getPageInfoFirst(a16, a, b),
        WystrelPacket::ErrPageDataRange);
    EXPECT_EQ(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 101, 0, 0})).bootloader_getPageInfoFirst(a16, a, b),
        WystrelPacket::ErrPageDataRange);
    EXPECT_EQ(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0x01, 0x08, 0})).bootloader_getPageInfoFirst(a16, a, b),
        WystrelPacket::ErrPageDataRange); // address 0x101
    EXPECT_EQ(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 1, 0, 51})).bootloader_getPageInfoFirst(a16, a, b),
        WystrelPacket::ErrPageDataRange);

    ASSERT_EQ(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 5, 0xC6, 7})).bootloader_getReadPageInfoSecond(a, b, c),
        0);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 6);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0xFF, 0x3F, 0}))
                  .bootloader_getReadPageInfoSecond(a, b, c),
        WystrelPacket::ErrPageDataRange);

    ASSERT_EQ(frameOf(withChecksum({0xD0, 0x98, 0, 0, 0xFF, 0, 0, 0x42})).bootloader_getWriteRow(a), 0);
    EXPECT_EQ(a, 0x42);
    EXPECT_EQ(frameOf({0xD0, 0x98}).bootloader_getWriteRow(a), core::ITF_ERR_PACKET_LENGTH);

    Bytes row = {0xD0, 0x98, 0, 1, 0xFE, 0x12, 0x40, 0x03};
    for (int i = 0; i < 65; ++i)
        row.push_back(i);
    row = withChecksum(row);
    ASSERT_EQ(row.size(), 74u);
    QString hex;
    ASSERT_EQ(frameOf(row).bootloader_getReadRow(hex, a), 0);
    EXPECT_EQ(hex.size(), 130);
    EXPECT_TRUE(hex.startsWith("000102"));
    EXPECT_TRUE(hex.endsWith("3F40"));
    EXPECT_EQ(a, 3);
    row.pop_back();
    EXPECT_EQ(frameOf(row).bootloader_getReadRow(hex, a), core::ITF_ERR_PACKET_LENGTH);
}

TEST(WystrelPacket, BootloaderCommandNames)
{
    struct Row
    {
        Bytes body;
        const char* name;
    };
    for (const Row& r : {Row {{0xD0, 0x18, 0, 0, 0xFF, 0, 0, 0}, "BL_CMD_WRITE"},
             Row {{0xD0, 0x18, 0, 0, 0xFE, 0, 0, 0}, "BL_CMD_READ"},
             Row {{0xD0, 0x18, 0, 0, 0xFE, 0, 0xE6, 0}, "BL_CMD_READ START_BL"},
             Row {{0xD0, 0x18, 0, 0, 0xFE, 0, 0xC3, 0}, "BL_CMD_READ PRIME_UNLOCK"},
             Row {{0xD0, 0x18, 0, 0, 0xFD, 1, 0xFC, 0}, "BL_CMD_EXTENDED READ_NO_PAGES"},
             Row {{0xD0, 0x18, 0, 0, 0xFD, 1, 0xFD, 0}, "BL_CMD_EXTENDED FACTORY_INIT"},
             Row {{0xD0, 0x18, 0, 0, 0xFD, 1, 0xFE, 0}, "BL_CMD_EXTENDED READ_HW_SYSTYPE"},
             Row {{0xD0, 0x18, 0, 0, 0xFD, 1, 0xFF, 0}, "BL_CMD_EXTENDED START_APP"},
             Row {{0xD0, 0x18, 0, 0, 0xFD, 1, 0x10, 0}, "BL_CMD_EXTENDED Unknown"}}) {
        WystrelPacket p = frameOf(withChecksum(r.body));
        EXPECT_EQ(p.bootloader_getCommandName(), r.name);
        EXPECT_EQ(p.getPacketInformation(nullptr), QStringLiteral("BOOT LOADER\t") + r.name);
    }
}

TEST(WystrelPacket, Descriptions)
{
    WystrelPacket read = frameOf(withChecksum({0xD0, 0x8D, 0, 0, 4, 0, 0x10, 0}));
    EXPECT_EQ(read.getPacketInformation(nullptr), "READ  (n=    4, v=    1, rv=   16)   \"Netw res\"");

    WystrelPacket skip(WystrelPacket::WY_CMD_GUID);
    skip.setSkipCount(7);
    EXPECT_EQ(skip.getPacketInformation(nullptr), "SKIP[ 7]  GUID");

    read.calcVariables(nullptr);
    EXPECT_EQ(read.getAttribute("wystrel_startcode").toInt(), 0xD0);
    EXPECT_EQ(read.getAttribute("command").toString(), "READ");
    EXPECT_EQ(read.getAttribute("skip").toInt(), 0);
    EXPECT_TRUE(read.getAttribute("packet_checksum_valid").toBool());
    skip.checksum_recalculate();
    skip.calcVariables(nullptr);
    EXPECT_EQ(skip.getAttribute("command").toString(), "unknown");
    EXPECT_EQ(skip.getAttribute("skip").toInt(), 7);
}

TEST(WystrelPacket, DaliPassThrough)
{
    proto::DaliPacket dali;
    dali.setCommand(0xFF, 0x05);
    std::unique_ptr<WystrelPacket> frame(WystrelPacket::fromDaliPacket(&dali));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getHexString(),
        "D0180000"
        "00FF0501ED");
    EXPECT_EQ(bytesOf(WystrelPacket(&dali)), bytesOf(*frame));
    EXPECT_TRUE(frame->hasDaliSubpacket());

    std::unique_ptr<proto::DaliPacket> back(frame->toDaliPacket());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(bytesOf(*back), (Bytes {0xFF, 0x05}));

    std::unique_ptr<proto::DaliPacket> answer(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0, 0x7F, 0, 1})).toDaliPacket());
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(bytesOf(*answer), (Bytes {0x7F}));

    std::unique_ptr<proto::DaliPacket> none(
        frameOf(withChecksum({0xD0, 0x98, 0, 0, 0, 0x7F, 0, 0})).toDaliPacket());
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->isTimeout());
    EXPECT_TRUE(none->isTimeoutEvent());

    EXPECT_EQ(WystrelPacket(WystrelPacket::WY_CMD_READ).toDaliPacket(), nullptr);
    EXPECT_EQ(frameOf({0xD0, 0x18, 0, 0, 0}).toDaliPacket(), nullptr);

    frame->calcVariables(nullptr);
    ASSERT_NE(frame->getSubPacket(), nullptr);
    EXPECT_EQ(bytesOf(*frame->getSubPacket()), (Bytes {0xFF, 0x05}));
}

TEST(WystrelPacket, ConversionsThatAFrameCannotCarryGiveNoPacket)
{
    tarvesk::test::LogCapture capture;
    proto::DaliPacket answer;
    answer.appendByte(0x12);
    EXPECT_EQ(WystrelPacket::fromDaliPacket(&answer), nullptr);
    EXPECT_EQ(WystrelPacket(&answer).getDataSize(), 0);
    EXPECT_EQ(WystrelPacket::fromDaliPacket(nullptr), nullptr);

    proto::SpiPacket shortSpi;
    shortSpi.appendByte(0xE1);
    EXPECT_EQ(WystrelPacket::fromSpiPacket(&shortSpi), nullptr);
    EXPECT_EQ(WystrelPacket(&shortSpi).getDataSize(), 0);

    proto::DorvanePacket brisquel;
    brisquel.setBrisquelWrite(0x10, 0x1234);
    EXPECT_EQ(WystrelPacket::fromDorvanePacket(&brisquel), nullptr);
    proto::DorvanePacket brask;
    brask.setLegacyRead8(1, 2);
    EXPECT_EQ(WystrelPacket::fromDorvanePacket(&brask), nullptr);
    proto::DorvanePacket watchdog;
    watchdog.setDaliCommand(0xFF, 0x05, false, false);
    watchdog.setDorvanePacketType(proto::DorvanePacket::DV_APPL_WD);
    EXPECT_EQ(WystrelPacket::fromDorvanePacket(&watchdog), nullptr);
    EXPECT_TRUE(capture.hasWarningContaining("DV_APPL_CMD_WD not implemented yet."));
    const unsigned char received[] = {0x10, 0x42, 0xFF, 0x05};
    proto::DorvanePacket dv2(received, 4);
    EXPECT_EQ(WystrelPacket::fromDorvanePacket(&dv2), nullptr);
    EXPECT_TRUE(capture.hasWarningContaining("DV2 not implemented yet."));
    proto::DorvanePacket shortBridge;
    shortBridge.setDorvanePacketType(proto::DorvanePacket::DV_APPL);
    shortBridge.appendByte(0x10);
    EXPECT_EQ(WystrelPacket::fromDorvanePacket(&shortBridge), nullptr);

    EXPECT_EQ(frameOf({0xD0, 0x0B, 0, 1, 2}).toSpiPacket(), nullptr);
    EXPECT_EQ(frameOf({0xD0, 0x0D, 0, 0, 0, 0x0C, 0}).toDorvanePacket(), nullptr);
    EXPECT_EQ(frameOf(withChecksum({0xD0, 0x0D, 0, 0, 0, 0x0C, 0, 0})).toDorvanePacket(), nullptr);
}

TEST(WystrelPacket, SpiPassThrough)
{
    proto::SpiPacket spi;
    spi.setReadEe16(2, 0x0123);
    std::unique_ptr<WystrelPacket> frame(WystrelPacket::fromSpiPacket(&spi));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(bytesOf(*frame), withChecksum({0xD0, 0x0B, 0x02, 0xE1, 0x01, 0x23, 0x00, 0x00}));
    std::unique_ptr<proto::SpiPacket> back(frame->toSpiPacket());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(bytesOf(*back), bytesOf(spi));
    EXPECT_EQ(back->getNordhune(), 2);
    EXPECT_TRUE(back->isCommand());

    spi.setReadEe16(1, 0x0123);
    frame.reset(WystrelPacket::fromSpiPacket(&spi));
    EXPECT_EQ(frame->getUint8(2), 0);
    back.reset(frame->toSpiPacket());
    EXPECT_EQ(back->getNordhune(), 1);
}

TEST(WystrelPacket, DorvaneRequestsRoundTrip)
{
    proto::DorvanePacket bridge;
    bridge.setWystrelRead16(0x0102);
    std::unique_ptr<WystrelPacket> frame(WystrelPacket::fromDorvanePacket(&bridge));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(bytesOf(*frame), withChecksum({0xD0, 0x0D, 0, 0, 0x59, 0x0B, 0x02, 0x01}));
    EXPECT_TRUE(frame->hasDorvaneSubpacket());
    std::unique_ptr<proto::DorvanePacket> back(frame->toDorvanePacket());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(bytesOf(*back), (Bytes {0x59, 0x01, 0x02}));
    EXPECT_EQ(back->getDorvanePacketType(), proto::DorvanePacket::DV_APPL);
    EXPECT_TRUE(back->isReadCommand());

    proto::DorvanePacket legacy;
    for (int b : {0x01, 0x02, 0x03, 0x04})
        legacy.appendByte(quint8(b));
    frame.reset(WystrelPacket::fromDorvanePacket(&legacy));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(bytesOf(*frame), withChecksum({0xD0, 0x0E, 0, 0, 1, 2, 3, 4}));

    frame->calcVariables(nullptr);
    EXPECT_EQ(frame->getSubPacket(), nullptr); // byte 5 = 2 carries no Dorvane request
}

TEST(WystrelPacket, DorvaneAnswersByCarrier)
{
    struct Row
    {
        Bytes body;
        Bytes dorvane;
        int type;
        bool eeprom;
    };
    for (const Row& r : {Row {{0xD0, 0x0D, 0, 0, 0x85, 8, 0x34, 0x12}, {0x0A, 0x12, 0x34}, 1, true},
             Row {{0xD0, 0x0D, 0, 0, 0x05, 8, 0x34, 0x12}, {0x0A, 0x12, 0x34}, 1, false},
             Row {{0xD0, 0x0D, 0, 0, 0x42, 9, 0x05, 0xFF}, {0x42, 0xFF, 0x05}, 2, false},
             Row {{0xD0, 0x0D, 0, 0, 0x85, 10, 0, 0}, {0x50, 0x1C, 0x05}, 2, false},
             Row {{0xD0, 0x0E, 0, 0, 0x05, 10, 0, 0}, {0x51, 0x1C, 0x05}, 2, false},
             Row {{0xD0, 0x0E, 0, 0, 0x85, 10, 0, 0}, {0x52, 0x1C, 0x05}, 2, false}}) {
        std::unique_ptr<proto::DorvanePacket> d(frameOf(withChecksum(r.body)).toDorvanePacket());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(bytesOf(*d), r.dorvane);
        EXPECT_EQ(d->getDorvanePacketType(), r.type);
        if (r.type == proto::DorvanePacket::DV_APP) {
            EXPECT_EQ(d->getDorvaneResolution(), proto::DorvanePacket::DV_RESOLUTION_16BIT);
            EXPECT_EQ(d->getDorvaneMemoryRange() == proto::DorvanePacket::DV_MEMORY_EEPROM, r.eeprom);
        }
    }

    // A Brask read described through its Dorvane sub-frame is a bridge read.
    WystrelPacket read = frameOf(withChecksum({0xD0, 0x0D, 0, 0, 0x85, 10, 0, 0}));
    read.calcVariables(nullptr);
    ASSERT_NE(read.getSubPacket(), nullptr);
    EXPECT_EQ(read.getSubPacket()->getAttribute("config_bits").toString(), "BRDG_CONF_RDWR_READ");
}

TEST(WystrelPacket, CopiesAndClones)
{
    proto::DmxPacket dmx;
    for (int b : withChecksum({0xD0, 0xCD, 0, 0, 4, 0, 0x10, 0}))
        dmx.appendByte(quint8(b));
    dmx.setIndex(4);
    const WystrelPacket fromDmx(&dmx);
    EXPECT_EQ(bytesOf(fromDmx), bytesOf(dmx));
    EXPECT_EQ(fromDmx.getIndex(), 4);
    EXPECT_TRUE(fromDmx.isFrameError());

    std::unique_ptr<proto::RawPacket> copy(fromDmx.clone());
    ASSERT_NE(dynamic_cast<WystrelPacket*>(copy.get()), nullptr);
    EXPECT_TRUE(copy->isFrameError());
    EXPECT_EQ(bytesOf(*copy), bytesOf(dmx));
}

} // namespace
