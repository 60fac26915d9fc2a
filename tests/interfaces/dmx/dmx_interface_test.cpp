#include "../scripted_dmx_interface.h"

#include "interfaces/dmx/wystrel_dali_interface.h"
#include "protocol/dali/dali_packet.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using test::ScriptedDmxInterface;
using Reply = ScriptedDmxInterface::Reply;

namespace {

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

TEST(DmxInterface, SetpointsAreOneFrameOfLowBytes)
{
    ScriptedDmxInterface dmx;
    EXPECT_EQ(dmx.sendSetpoint({10, 300, -1}, core::ITF_RES_BYTE, 0), 0);
    EXPECT_EQ(dmx.sent, QStringList {"00 0A 2C FF"});
    EXPECT_TRUE(dmx.sentOptions[0].isEmpty());

    // A list longer than a frame holds is refused whole.
    QList<int> many;
    for (int i = 0; i < 2000; ++i)
        many << 1;
    EXPECT_EQ(dmx.sendSetpoint(many, core::ITF_RES_BYTE, 0), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(dmx.sent.size(), 1);
}

// The prime unlock awaits its acknowledgement with 15 retries; the mode write
// that follows goes out with 2 and awaits nothing.
TEST(DmxInterface, SpecialVolatileMode)
{
    ScriptedDmxInterface dmx;
    dmx.replies.push_back(Reply::answer(test::withChecksum({0xD0, 0x8E, 0, 0, 0xFE, 0, 0xC3, 0})));
    EXPECT_EQ(dmx.setSpecialVolatileMode(0x12), 0);
    ASSERT_EQ(dmx.sent.size(), 2);
    EXPECT_EQ(dmx.sent[0], hexOf(test::withChecksum({0xD0, 0x0E, 0, 0, 0xFE, 0x00, 0xC3, 0})));
    EXPECT_EQ(dmx.sentOptions[0],
        (QVariantMap {{"expect_answer", true}, {"retry_count", 15}, {"retry_invalid", true}}));
    EXPECT_EQ(dmx.sent[1], hexOf(test::withChecksum({0xD0, 0x0E, 0, 0, 0xFE, 0x00, 0x12, 0})));
    EXPECT_EQ(dmx.sentOptions[1], (QVariantMap {{"expect_answer", false}, {"retry_count", 2}}));
}

TEST(DmxInterface, BootloaderStart)
{
    const QByteArray ack = test::withChecksum({0xD0, 0x8E, 0, 0, 0xFE, 0, 0xC3, 0});
    // An unacknowledged prime unlock is a failure, and no start command follows.
    {
        ScriptedDmxInterface dmx;
        bool entered = false;
        int elapsed = 77;
        EXPECT_EQ(dmx.startBootloader(3000, entered, elapsed), core::ITF_ERR_NO_REPLY);
        EXPECT_TRUE(entered);
        EXPECT_EQ(elapsed, 77);
        EXPECT_EQ(dmx.sent.size(), 1);
    }
    // A start command that never goes out is tried five times; the fifth failure is returned.
    {
        ScriptedDmxInterface dmx;
        dmx.replies = {Reply::answer(ack), Reply::failure(-1), Reply::failure(-1), Reply::failure(-1),
            Reply::failure(-1), Reply::failure(core::ITF_ERR_PIPE)};
        EXPECT_EQ(dmx.startBootloader(3000), core::ITF_ERR_PIPE);
        EXPECT_EQ(dmx.sent.size(), 6);
    }
    {
        ScriptedDmxInterface dmx;
        dmx.replies = {Reply::answer(ack), Reply::failure(-1)};
        EXPECT_EQ(dmx.startBootloader(3000), 0);
        EXPECT_EQ(dmx.sent.size(), 3);
        EXPECT_EQ(dmx.sent[2], hexOf(test::withChecksum({0xD0, 0x0E, 0, 0, 0xFE, 0x00, 0xE6, 0})));
        bool entered = false;
        int elapsed = 0;
        EXPECT_EQ(dmx.sendBootloaderSpam(100, entered, elapsed), core::ITF_ERR_UNSUPPORTED_FEATURE);
    }
}

// DALI in Wystrel frames: the frame goes to the DMX layer once with its own
// options; none of the caller's (send twice, timing) reach it.
TEST(WystrelDaliInterface, FramesAndAnswers)
{
    ScriptedDmxInterface dmx;
    itf::WystrelDaliInterface dali(nullptr, &dmx);
    dmx.replies = {Reply::answer(test::withChecksum({0xD0, 0x98, 0, 0, 0, 0x7F, 0x90, 0x01}))};
    unsigned char answer = 0;
    EXPECT_EQ(dali.queryCommand(0x01, 0x90, &answer), 0);
    EXPECT_EQ(answer, 0x7F);
    EXPECT_EQ(dmx.sent, QStringList {"D0 18 00 00 00 01 90 01 7A"});
    EXPECT_EQ(dmx.sentOptions[0], (QVariantMap {{"expect_answer", true}, {"retry_invalid", true}}));

    // Nobody answered on the driver's DALI side, or nothing came back at all.
    dmx.replies = {Reply::answer(test::withChecksum({0xD0, 0x98, 0, 0, 0, 0, 0x90, 0x00})), Reply::none(),
        Reply::timeoutEvent()};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dali.queryCommand(0x01, 0x90, &answer), core::ITF_ERR_NO_REPLY) << i;

    // The driver flags the frame as an error: its DALI module is missing.
    dmx.replies = {Reply::answer(test::withChecksum({0xD0, 0xD8, 0, 0, 0, 0, 0x90, 0x00}))};
    EXPECT_EQ(dali.queryCommand(0x01, 0x90, &answer), core::ITF_ERR_UNSUPPORTED_MODULE);
    dmx.replies = {Reply::failure(core::ITF_ERR_NO_DEVICE)};
    EXPECT_EQ(dali.sendCommandTwice(0x01, 0x2A), core::ITF_ERR_NO_DEVICE);

    dmx.sent.clear();
    EXPECT_EQ(dali.sendCommandTwice(0x01, 0x2A), 0);
    EXPECT_EQ(dmx.sent.size(), 1); // sent twice by the driver, handed down once
    EXPECT_EQ(dmx.sentOptions.back(), (QVariantMap {{"expect_answer", true}, {"retry_invalid", true}}));
}

} // namespace
