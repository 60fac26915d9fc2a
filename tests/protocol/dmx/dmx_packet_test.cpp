#include "log_capture.h"

#include "protocol/dmx/dmx_packet.h"
#include "protocol/dmx/dmx_packet_factory.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace proto = tarvesk::proto;
using proto::DmxPacket;
using proto::DmxPacketFactory;

namespace {

TEST(DmxPacket, FromDataTakesOnlyStartCodeZero)
{
    const unsigned char dmx[] = {0x00, 0x10};
    std::unique_ptr<DmxPacket> p(DmxPacket::fromData(dmx, 2));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->getDataSize(), 2);
    EXPECT_EQ(p->getPacketType(), proto::PACKET_TYPE_DMX);
    EXPECT_EQ(p->getPacketTypeIdentString(), "DMX");
    EXPECT_EQ(p->getPacketInformation(nullptr), "");

    tarvesk::test::LogCapture capture;
    const unsigned char other[] = {0x01, 0x02};
    EXPECT_EQ(DmxPacket::fromData(other, 2), nullptr);
    EXPECT_TRUE(capture.hasWarningContaining("Trying to copy a DMX packet with a startcode other than 0x00"));
}

TEST(DmxPacket, CloneKeepsAttributesAndFlags)
{
    const unsigned char bytes[] = {0x00, 0x01, 0x02};
    DmxPacket p(bytes, 3);
    p.setFlags(proto::PACKET_FLAG_FRAME_ERROR);
    p.addAttribute("note", 7);
    std::unique_ptr<proto::RawPacket> copy(p.clone());
    ASSERT_NE(dynamic_cast<DmxPacket*>(copy.get()), nullptr);
    EXPECT_TRUE(copy->isFrameError());
    EXPECT_EQ(copy->getAttribute("note").toInt(), 7);
    EXPECT_TRUE(copy->isEqual(&p));
}

TEST(DmxPacketFactory, PicksTheClassByStartCode)
{
    std::unique_ptr<DmxPacket> dmx(DmxPacketFactory::fromHexString("00FF00"));
    ASSERT_NE(dmx, nullptr);
    EXPECT_EQ(dmx->metaObject(), &DmxPacket::staticMetaObject);
    EXPECT_EQ(dmx->getDataSize(), 3);
    dmx->calcVariables(nullptr);
    EXPECT_EQ(dmx->getAttribute("dmx_startcode").toInt(), 0);

    std::unique_ptr<DmxPacket> rdm(DmxPacketFactory::fromHexString("CC0118"));
    EXPECT_NE(dynamic_cast<proto::RdmPacket*>(rdm.get()), nullptr);
    std::unique_ptr<DmxPacket> wystrel(DmxPacketFactory::fromHexString("D00D000000000000DD"));
    EXPECT_NE(dynamic_cast<proto::WystrelPacket*>(wystrel.get()), nullptr);
    std::unique_ptr<DmxPacket> alt(DmxPacketFactory::fromHexString("D18D"));
    EXPECT_NE(dynamic_cast<proto::WystrelPacket*>(alt.get()), nullptr);

    tarvesk::test::LogCapture capture;
    EXPECT_EQ(DmxPacketFactory::fromHexString("1700"), nullptr);
    EXPECT_EQ(DmxPacketFactory::fromHexString("00F"), nullptr);
    EXPECT_EQ(DmxPacketFactory::fromHexString(""), nullptr);
    EXPECT_EQ(DmxPacketFactory::fromData(nullptr, 4), nullptr);
}

TEST(DmxPacketFactory, LongWystrelFramesAreKeptWhole)
{
    // A frame of 256 or more bytes must not lose its length to an 8-bit size.
    std::vector<unsigned char> frame(300, 0x11);
    frame[0] = 0xD0;
    std::unique_ptr<DmxPacket> p(DmxPacketFactory::fromData(frame.data(), int(frame.size())));
    ASSERT_NE(dynamic_cast<proto::WystrelPacket*>(p.get()), nullptr);
    EXPECT_EQ(p->getDataSize(), 300);
}

} // namespace
