#include "packet_bytes.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/dorvane/dorvane_packet_factory.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using tarvesk::proto::DorvanePacket;
namespace proto = tarvesk::proto;

namespace {

using tarvesk::test::Bytes;
using tarvesk::test::bytesOf;

DorvanePacket usedPacket()
{
    const std::vector<unsigned char> old(6, 0xFF);
    DorvanePacket p(old.data(), int(old.size()));
    return p;
}

struct BuilderCase
{
    const char* name;
    std::function<void(DorvanePacket&)> build;
    Bytes bytes;
    int type;
    bool read;
};

class DorvaneBuilders : public ::testing::TestWithParam<BuilderCase>
{
};

TEST_P(DorvaneBuilders, WriteTheirFrames)
{
    const BuilderCase& c = GetParam();
    DorvanePacket p = usedPacket();
    c.build(p);
    EXPECT_EQ(bytesOf(p), c.bytes);
    EXPECT_EQ(p.getDorvanePacketType(), c.type);
    EXPECT_EQ(p.isReadCommand(), c.read);
}

INSTANTIATE_TEST_SUITE_P(DorvanePacket, DorvaneBuilders,
    ::testing::Values(
        BuilderCase {"dali_broadcast", [](DorvanePacket& p) { p.setDaliCommand(0xFF, 0x05, false, true); },
            {0x10, 0x42, 0xFF, 0x05}, 2, false},
        BuilderCase {"dali_internal", [](DorvanePacket& p) { p.setDaliCommand(0x01, 0x05, true, false); },
            {0x10, 0x41, 0x01, 0x05}, 2, false},
        BuilderCase {"scale_ch12", [](DorvanePacket& p) { p.setChannelScale8(4, 1, 2); }, {0x10, 0x48, 1, 2},
            2, false},
        BuilderCase {"scale_ch34", [](DorvanePacket& p) { p.setChannelScale8(3, 1, 2); }, {0x10, 0x49, 1, 2},
            2, false},
        BuilderCase {"scale_ch56", [](DorvanePacket& p) { p.setChannelScale8(5, 1, 2); }, {0x10, 0x4A, 1, 2},
            2, false},
        BuilderCase {"scale_ch78", [](DorvanePacket& p) { p.setChannelScale8(7, 1, 2); }, {0x10, 0x4B, 1, 2},
            2, false},
        BuilderCase {"broadcast16", [](DorvanePacket& p) { p.setBroadcastScale16(0x1234); },
            {0x10, 0x4F, 0x12, 0x34}, 2, false},
        BuilderCase {
            "legacy_read8", [](DorvanePacket& p) { p.setLegacyRead8(1, 9); }, {0x10, 0x50, 1, 9}, 4, true},
        BuilderCase {
            "legacy_read16", [](DorvanePacket& p) { p.setLegacyRead16(1, 9); }, {0x10, 0x50, 1, 9}, 4, true},
        BuilderCase {"legacy_write8", [](DorvanePacket& p) { p.setLegacyWrite8(3, 9, false); },
            {0x10, 0x51, 3, 9}, 4, false},
        BuilderCase {"legacy_write8_reset", [](DorvanePacket& p) { p.setLegacyWrite8(3, 9, true); },
            {0x10, 0x52, 3, 9}, 4, false},
        BuilderCase {"legacy_write16_reset", [](DorvanePacket& p) { p.setLegacyWrite16(3, 9, true); },
            {0x10, 0x56, 3, 9}, 4, false},
        BuilderCase {"wystrel_read16", [](DorvanePacket& p) { p.setWystrelRead16(0x0102); },
            {0x10, 0x59, 0x01, 0x02}, 2, true},
        BuilderCase {"brisquel_raw", [](DorvanePacket& p) { p.setBrisquelDorvanePacket(1, 2, 3, 4); },
            {1, 2, 3, 4}, 2, false},
        BuilderCase {"brisquel_write", [](DorvanePacket& p) { p.setBrisquelWrite(0x21, 0xABCD); },
            {0x21, 0xAB, 0xCD}, 1, false},
        BuilderCase {
            "brisquel_read", [](DorvanePacket& p) { p.setBrisquelRead(0x21); }, {0x21, 0x00, 0x00}, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DorvanePacket, ConstructionAndTypeTags)
{
    const DorvanePacket empty;
    EXPECT_EQ(empty.getPacketType(), proto::PACKET_TYPE_NOT_SET);
    EXPECT_EQ(empty.getPacketTypeIdentString(), "DV_LEGACY");

    const unsigned char bytes[] = {0x42, 0xFF, 0x05};
    std::unique_ptr<DorvanePacket> received(proto::DorvanePacketFactory::fromData(bytes, 3));
    EXPECT_EQ(received->getPacketType(), proto::PACKET_TYPE_DORVANE);
    EXPECT_EQ(received->getDorvanePacketType(), DorvanePacket::DV_RECEIVED);
    EXPECT_EQ(received->getPacketTypeIdentString(), "Dorvane");

    const char* tags[] = {"DV_LEGACY", "DV_APP", "DV_APPL", "DV_APPL_WD", "DV_BRASK", "Dorvane", "Dorvane"};
    for (int type = 0; type < 7; ++type) {
        DorvanePacket p;
        p.setDorvanePacketType(DorvanePacket::DorvanePacketType(type));
        EXPECT_EQ(p.getPacketTypeIdentString(), tags[type]);
    }

    proto::DaliPacket dali;
    dali.setCommand(0xFF, 0x05);
    EXPECT_EQ(bytesOf(DorvanePacket(&dali, false, true)), (Bytes {0x10, 0x42, 0xFF, 0x05}));
    proto::DaliPacket answer;
    answer.appendByte(1);
    DorvanePacket untouched = usedPacket();
    untouched.setDaliCommand(&answer, false, false);
    EXPECT_EQ(untouched.getDataSize(), 6);
}

struct BridgeCase
{
    const char* name;
    Bytes bytes;
    QString special;
    QString configuration;
    QVariantMap fields;
};

class DorvaneBridge : public ::testing::TestWithParam<BridgeCase>
{
};

TEST_P(DorvaneBridge, DescribesTheControlByteAndDataBytes)
{
    const BridgeCase& c = GetParam();
    std::vector<unsigned char> raw(c.bytes.cbegin(), c.bytes.cend());
    DorvanePacket p(raw.data(), int(raw.size()));
    p.setDorvanePacketType(DorvanePacket::DV_APPL);
    const QString before = p.getPacketInformation(nullptr);
    p.calcVariables(nullptr);
    EXPECT_EQ(p.getAttribute("special_bits").toString(), c.special);
    EXPECT_EQ(p.getAttribute("config_bits").toString(), c.configuration);
    for (auto it = c.fields.cbegin(); it != c.fields.cend(); ++it)
        EXPECT_EQ(p.getAttribute(it.key()), it.value()) << it.key().toStdString();
    const QString expected = "special_bits:" + c.special + " config_bits:" + c.configuration + " ";
    EXPECT_EQ(p.getPacketInformation(nullptr), expected);
    EXPECT_EQ(before, expected); // describing needs no earlier calcVariables
    EXPECT_EQ(bytesOf(p), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(DorvanePacket, DorvaneBridge,
    ::testing::Values(BridgeCase {"dali", {0x42, 0xFF, 0x05}, "BRDG_SPEC_DALI", "BRDG_CONF_DALI_BROADCAST",
                          {{"dali_byte_0", 0xFF}, {"dali_byte_1", 0x05}, {"current_status", true}}},
        BridgeCase {"built_frame_reads_past_0x10", {0x10, 0x42, 0xFF, 0x05}, "BRDG_SPEC_DALI",
            "BRDG_CONF_DALI_BROADCAST", {{"dali_byte_0", 0xFF}, {"dali_byte_1", 0x05}}},
        BridgeCase {"scale", {0x0A, 7, 8}, "BRDG_SPEC_SCALE", "BRDG_CONF_SCALE_8B_CH56",
            {{"channel_5", 7}, {"channel_6", 8}, {"current_status", false}}},
        BridgeCase {
            "locdim", {0x4F, 0x12, 0x34}, "BRDG_SPEC_SCALE", "BRDG_CONF_LOCDIM_16B", {{"broadcast", 0x1234}}},
        BridgeCase {"rdwr", {0x55, 0x1C, 0x05}, "BRDG_SPEC_RDWR", "BRDG_CONF_RDWR_WRITE_16",
            {{"target_memory", 0x1C}, {"address", 5}}},
        BridgeCase {"wyparam", {0x59, 0x01, 0x02}, "BRDG_SPEC_WYPARAM", "BRDG_CONF_WY_RD16",
            {{"param_number", 0x0102}}},
        BridgeCase {"setpoint", {0x66, 1, 2}, "BRDG_SPEC_SETPOINT", "BRDG_CONF_SETPOINT_56_L",
            {{"setpoint5_lo", 1}, {"setpoint6_lo", 2}}},
        BridgeCase {"config_bits_unknown", {0x53, 1, 2}, "BRDG_SPEC_RDWR", "unknown", {}},
        BridgeCase {"special_bits_unknown", {0x7F, 1, 2}, "unknown", "unknown", {{"current_status", true}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DorvanePacket, UnknownBridgeCombinationHasNoFields)
{
    const unsigned char raw[] = {0x7F, 1, 2};
    DorvanePacket p(raw, 3);
    p.setDorvanePacketType(DorvanePacket::DV_APPL);
    p.calcVariables(nullptr);
    EXPECT_FALSE(p.hasAttribute("channel_1"));
    EXPECT_FALSE(p.hasAttribute("dali_byte_0"));
    EXPECT_EQ(p.getSubPacket(), nullptr);
}

TEST(DorvanePacket, DaliBridgeFramesCarryTheirDaliFrame)
{
    DorvanePacket p;
    p.setDaliCommand(0x01, 0x05, false, false);
    ASSERT_TRUE(p.hasDaliPacket());
    std::unique_ptr<proto::DaliPacket> dali(p.toDaliPacket());
    EXPECT_EQ(bytesOf(*dali), (Bytes {0x01, 0x05}));

    p.calcVariables(nullptr);
    ASSERT_NE(p.getSubPacket(), nullptr);
    EXPECT_EQ(bytesOf(*p.getSubPacket()), (Bytes {0x01, 0x05}));
    EXPECT_EQ(p.getSubPacket()->getPacketTypeIdentString(), "DALI");

    DorvanePacket tooShort;
    tooShort.appendByte(0x40);
    EXPECT_FALSE(tooShort.hasDaliPacket());
    EXPECT_EQ(tooShort.toDaliPacket(), nullptr);
}

TEST(DorvanePacket, CopiesKeepTheFrameKindAndItsTarget)
{
    DorvanePacket p;
    p.setBrisquelRead(0x21);
    p.setDorvaneMemoryRange(DorvanePacket::DV_MEMORY_EEPROM);
    p.setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
    std::unique_ptr<DorvanePacket> copy(p.clone());
    EXPECT_TRUE(copy->isReadCommand());
    EXPECT_EQ(copy->getDorvanePacketType(), DorvanePacket::DV_APP);
    EXPECT_TRUE(copy->isTimeoutEvent());
    copy->calcVariables(nullptr);
    EXPECT_EQ(copy->getAttribute("memory").toString(), "EEPROM");
    EXPECT_EQ(copy->getAttribute("resolution").toString(), "16 bit");
    EXPECT_EQ(copy->getAttribute("address").toInt(), 0x21);
    EXPECT_EQ(copy->getAttribute("value").toInt(), 0);

    DorvanePacket brask;
    brask.setLegacyRead8(2, 9);
    brask.calcVariables(nullptr);
    EXPECT_EQ(brask.getAttribute("memory").toString(), "RAM");
    EXPECT_EQ(brask.getAttribute("resolution").toString(), "8 bit");
    EXPECT_EQ(brask.getPacketInformation(nullptr), "");
}

} // namespace
