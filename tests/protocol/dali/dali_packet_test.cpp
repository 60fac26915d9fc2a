#include "protocol/dali/dali_lookup_table.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dali/dali_packet_factory.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using tarvesk::proto::DaliLookupTable;
using tarvesk::proto::DaliPacket;
using tarvesk::proto::DaliPacketFactory;
using tarvesk::proto::PacketLookupTables;
namespace proto = tarvesk::proto;

namespace {

DaliPacket frame(std::vector<unsigned char> bytes, quint8 flags = 0)
{
    DaliPacket p(bytes.data(), static_cast<int>(bytes.size()));
    p.setFlags(flags);
    return p;
}

class DaliDescription : public ::testing::Test
{
protected:
    void SetUp() override
    {
        table.initFromJsonData(R"({
            "DaliCommandLUT": [{"Value": 5, "Name": "RECALL MAX LEVEL"}, {"Value": 224, "Name": "STD E0"}],
            "DaliSpecialCommandLUT": [{"Value": "A1", "Name": "TERMINATE"}],
            "DaliDT1CommandLUT": [], "DaliDT6CommandLUT": [],
            "DaliDT8CommandLUT": [{"Value": 224, "Name": "SET TEMPORARY X-COORDINATE"}],
            "DaliDT17CommandLUT": []})");
        tables.insert("DALI", &table);
    }
    QString describe(DaliPacket p, bool withTables = true)
    {
        return p.getPacketInformation(withTables ? &tables : nullptr);
    }

    DaliLookupTable table;
    PacketLookupTables tables;
};

TEST_F(DaliDescription, Texts)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> bytes;
        quint8 flags;
        QString text;
    };
    const Case cases[] = {
        {"broadcast arc power", {0xFE, 0xFE}, 0, "BROADCAST : ARC POWER(254)"},
        {"broadcast command", {0xFF, 0x05}, 0, "BROADCAST : RECALL MAX LEVEL"},
        {"broadcast unaddressed", {0xFD, 0x05}, 0, "BC UNADDR : RECALL MAX LEVEL"},
        {"short 0 command", {0x01, 0x05}, 0, "SHORT         0 : RECALL MAX LEVEL"},
        {"short 63 arc", {0x7E, 0x00}, 0, "SHORT        63 : ARC POWER(0)"},
        {"group 3 unknown opcode", {0x87, 0x0A}, 0, "GROUP         3 : 0a"},
        {"group 15 arc", {0x9E, 0x80}, 0, "GROUP        15 : ARC POWER(128)"},
        {"special", {0xA1, 0x00}, 0, "SPECIAL : TERMINATE"},
        {"special unknown", {0xA3, 0x12}, 0, "SPECIAL : a3"},
        {"three bytes", {0x01, 0x05, 0x99}, 0, "SHORT         0 : RECALL MAX LEVEL"},
        {"answer", {0x42}, 0, ""},
        {"time-out event", {}, 0x08, ""},
        {"not handled", {0x01, 0x05}, 0x10, ""},
        {"frame error", {}, 0x04, "Frame error"},
        {"connect", {}, 1, "DALI connect"},
        {"disconnect", {}, 2, "DALI disconnect"},
        {"empty, no flags", {}, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(frame(c.bytes, c.flags)), c.text) << c.name;

    // Without the table only the prefixes and arc power levels remain.
    EXPECT_EQ(describe(frame({0xA1, 0x00}), false), "SPECIAL : ");
    EXPECT_EQ(describe(frame({0x01, 0x05}), false), "SHORT         0 : ");
    EXPECT_EQ(describe(frame({0xFE, 0x10}), false), "BROADCAST : ARC POWER(16)");
}

TEST_F(DaliDescription, DeviceTypeIsCarriedPerFrame)
{
    // One bus: ENABLE DEVICE TYPE 8, then an opcode that type 8 names differently.
    unsigned char busState = 0;
    DaliPacket enable = frame({0xC1, 0x08});
    EXPECT_EQ(enable.getDeviceType(), 8);
    busState = enable.checkDeviceType(busState);
    DaliPacket dt8 = frame({0xFF, 0xE0});
    dt8.checkDeviceType(busState);
    EXPECT_EQ(describe(dt8), "BROADCAST : SET TEMPORARY X-COORDINATE");

    // Another bus (or thread) that saw no ENABLE DEVICE TYPE is not affected.
    DaliPacket other = frame({0xFF, 0xE0});
    EXPECT_EQ(describe(other), "BROADCAST : STD E0");

    // Clones keep the recorded device type.
    std::unique_ptr<DaliPacket> copy(dt8.clone());
    EXPECT_EQ(copy->getDeviceType(), 8);
    EXPECT_EQ(describe(*copy), "BROADCAST : SET TEMPORARY X-COORDINATE");

    // A 3-byte frame starting with 0xC1 is not an ENABLE DEVICE TYPE frame.
    EXPECT_EQ(frame({0xC1, 0x06, 0x00}).getDeviceType(), 0);
}

TEST(DaliPacket, FrameKindsAndAddressClasses)
{
    DaliPacket cmd;
    EXPECT_EQ(cmd.getPacketType(), proto::PACKET_TYPE_DALI);
    EXPECT_TRUE(cmd.isTimeout());
    cmd.setCommand(0x80, 0x00);
    EXPECT_TRUE(cmd.isCommand());
    EXPECT_TRUE(cmd.isGroupCommand());
    EXPECT_TRUE(cmd.isArcPowerCommand());
    EXPECT_EQ(cmd.getShortTarget(), 255);
    EXPECT_EQ(cmd.getGroupTarget(), 0);
    EXPECT_EQ(frame({0x9F, 0}).getGroupTarget(), 15);
    EXPECT_EQ(frame({0x7F, 0}).getShortTarget(), 63);
    EXPECT_EQ(frame({0x7F, 0}).getGroupTarget(), 255);

    const DaliPacket ff = frame({0xFF, 0x00});
    EXPECT_TRUE(ff.isBroadcastCommand());
    EXPECT_TRUE(ff.isBroadcastUnaddressedCommand());
    EXPECT_FALSE(ff.isSpecialCommand());
    const DaliPacket fd = frame({0xFD, 0x00});
    EXPECT_FALSE(fd.isBroadcastCommand());
    EXPECT_TRUE(fd.isBroadcastUnaddressedCommand());
    EXPECT_TRUE(frame({0xA0, 0}).isSpecialCommand());
    EXPECT_TRUE(frame({0xFC, 0}).isSpecialCommand());
    EXPECT_FALSE(frame({0x9F, 0}).isSpecialCommand());

    const DaliPacket answer = frame({0x42});
    EXPECT_TRUE(answer.isAnswer());
    EXPECT_FALSE(answer.isCommand());
    EXPECT_FALSE(answer.isShortCommand()); // address tests are false on non-commands
    EXPECT_EQ(answer.getShortTarget(), 255);
    EXPECT_TRUE(frame({}, 0x04).isError());
    EXPECT_FALSE(frame({}, 0x0C).isError());
    EXPECT_TRUE(frame({1, 2, 3}).isCommand());
    EXPECT_EQ(DaliPacket().getPacketTypeIdentString(), "DALI");

    const unsigned char bytes[] = {0xC1, 0x11};
    std::unique_ptr<DaliPacket> made(DaliPacketFactory::fromData(bytes, 2));
    EXPECT_EQ(made->getByte0(), 0xC1);
    EXPECT_EQ(made->getByte1(), 0x11);
    EXPECT_EQ(made->getDeviceType(), 17);
    std::unique_ptr<DaliPacket> empty(DaliPacketFactory::create());
    EXPECT_EQ(empty->getDataSize(), 0);
}

// Every 16-bit forward frame: classes partition the address byte and the
// description always names the target the address byte encodes.
TEST_F(DaliDescription, EveryForwardFrameDescribes)
{
    for (int a = 0; a < 256; ++a) {
        for (int o = 0; o < 256; o += 17) {
            DaliPacket p = frame({static_cast<unsigned char>(a), static_cast<unsigned char>(o)});
            const int classes = p.isShortCommand() + p.isGroupCommand() + p.isSpecialCommand() + (a == 0xFD)
                + p.isBroadcastCommand();
            ASSERT_EQ(classes, 1) << a;
            const QString text = describe(p);
            if (p.isShortCommand()) {
                ASSERT_TRUE(text.startsWith(QStringLiteral("SHORT%1 : ").arg(a >> 1, 10))) << a;
            }
            if (p.isArcPowerCommand() && !p.isSpecialCommand()) {
                ASSERT_TRUE(text.endsWith(QStringLiteral("ARC POWER(%1)").arg(o))) << a;
            }
        }
    }
}

} // namespace
