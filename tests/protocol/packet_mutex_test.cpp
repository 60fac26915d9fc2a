#include "protocol/packet_mutex.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using tarvesk::proto::PacketMutex;
using tarvesk::proto::RawPacket;
namespace proto = tarvesk::proto;

namespace {

// Generous: only reached when the hand-over is broken.
constexpr int kLongWaitMs = 10000;

std::unique_ptr<RawPacket> answer(
    int index, unsigned char firstByte, proto::RawPacketType type = proto::PACKET_TYPE_DALI)
{
    auto p = std::make_unique<RawPacket>(&firstByte, 1);
    p->setIndex(index);
    p->setPacketType(type);
    return p;
}

TEST(PacketMutex, AnswerBeforeTheWaitIsReturnedAtOnce)
{
    PacketMutex mutex(4, true);
    std::thread monitor([&] { mutex.checkPacket(answer(4, 0xAB).get()); });
    monitor.join(); // the answer is in before the sender begins to wait
    EXPECT_FALSE(mutex.waitForReplyIndex(kLongWaitMs));
    ASSERT_NE(mutex.getPacket(), nullptr);
    EXPECT_EQ(mutex.getPacket()->getUint8(0), 0xAB);
    EXPECT_EQ(mutex.pendingCount(), 0);
}

TEST(PacketMutex, IndexMismatchNeverEndsTheWait)
{
    PacketMutex mutex(4, true);
    mutex.checkPacket(answer(5, 0x01).get());
    EXPECT_TRUE(mutex.waitForReplyIndex(20));
    EXPECT_EQ(mutex.getPacket(), nullptr);

    // Mismatches followed by the awaited answer, from the monitor thread while
    // the sender waits: only the awaited one is taken.
    std::thread monitor([&] {
        for (int i = 0; i < 50; ++i)
            mutex.checkPacket(answer(i == 4 ? 260 : i, 0x02).get()); // 260 wraps to index 4
        mutex.checkPacket(answer(3, 0x03).get());
    });
    EXPECT_FALSE(mutex.waitForReplyIndex(kLongWaitMs));
    monitor.join();
    ASSERT_NE(mutex.getPacket(), nullptr);
    EXPECT_EQ(mutex.getPacket()->getIndex(), 4);
    EXPECT_EQ(mutex.pendingCount(), 0);
}

TEST(PacketMutex, TypeFilterWithoutIndexCheck)
{
    PacketMutex mutex(0, false);
    mutex.setInterfaceType(proto::PACKET_TYPE_DALI);
    mutex.checkPacket(answer(9, 0x10, proto::PACKET_TYPE_DMX).get());
    mutex.checkPacket(answer(77, 0x11, proto::PACKET_TYPE_DALI).get());
    EXPECT_EQ(mutex.pendingCount(), 1);
    EXPECT_FALSE(mutex.waitForReplyIndex(0));
    EXPECT_EQ(mutex.getPacket()->getUint8(0), 0x11);
}

TEST(PacketMutex, TimeOutReturnsTrueAndNoPacket)
{
    PacketMutex mutex(1, true);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(mutex.waitForReplyIndex(30));
    EXPECT_GE(clock.elapsed(), 25);
    EXPECT_EQ(mutex.getPacket(), nullptr);
    EXPECT_TRUE(mutex.waitForReplyIndex(-5)); // a negative time-out does not block
}

TEST(PacketMutex, QueuedAnswersAreTakenInOrder)
{
    PacketMutex mutex(2, true);
    std::thread monitor([&] {
        mutex.checkPacket(answer(2, 0xF1).get()); // e.g. the DALI forward frame
        mutex.checkPacket(answer(2, 0xF2).get()); // and its backward frame
    });
    monitor.join();
    EXPECT_EQ(mutex.pendingCount(), 2);
    ASSERT_FALSE(mutex.waitForReplyIndex(kLongWaitMs));
    EXPECT_EQ(mutex.getPacket()->getUint8(0), 0xF1);
    ASSERT_FALSE(mutex.waitForReplyIndex(kLongWaitMs));
    EXPECT_EQ(mutex.getPacket()->getUint8(0), 0xF2);
    EXPECT_TRUE(mutex.waitForReplyIndex(0));
}

TEST(PacketMutex, HandedOverPacketIsAnOwnedCopy)
{
    PacketMutex mutex(0, false);
    auto original = answer(0, 0x5A);
    original->setSubPacket(new RawPacket(*answer(0, 0x5B)));
    mutex.checkPacket(original.get());
    original.reset(); // the log evicted and deleted the original
    ASSERT_FALSE(mutex.waitForReplyIndex(0));
    EXPECT_EQ(mutex.getPacket()->getUint8(0), 0x5A);
    ASSERT_NE(mutex.getPacket()->getSubPacket(), nullptr);
    std::unique_ptr<RawPacket> kept = mutex.takePacket();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(mutex.getPacket(), nullptr);
    EXPECT_EQ(kept->getUint8(0), 0x5A);
}

TEST(PacketMutex, StreamOfAnswersWhileWaitingLosesNothing)
{
    constexpr int kCount = 500;
    PacketMutex mutex(7, true);
    std::thread monitor([&] {
        for (int i = 0; i < kCount; ++i) {
            mutex.checkPacket(answer(6, 0).get());
            mutex.checkPacket(answer(7, static_cast<unsigned char>(i)).get());
        }
    });
    for (int i = 0; i < kCount; ++i) {
        ASSERT_FALSE(mutex.waitForReplyIndex(kLongWaitMs)) << i;
        ASSERT_EQ(mutex.getPacket()->getUint8(0), static_cast<unsigned char>(i));
    }
    monitor.join();
    EXPECT_EQ(mutex.pendingCount(), 0);
}

// The verdicts of a wait, from what the monitor reported: pass times are
// given, not waited for, so each case is decided the moment it is asked.
using Clock = PacketMutex::Clock;
using std::chrono::hours;
using std::chrono::milliseconds;

PacketMutex::WaitRule rule(int quietPasses, Clock::duration window, Clock::time_point guard,
    Clock::time_point backstop)
{
    PacketMutex::WaitRule r;
    r.quietPasses = quietPasses;
    r.window = std::chrono::duration_cast<milliseconds>(window);
    r.guard = guard;
    r.backstop = backstop;
    return r;
}

TEST(PacketMutexVerdict, PastTheGuardOnlyAPassBegunAfterTheWindowSaysTheBoxIsSilent)
{
    // A pass that began within the window (the host was late, the box may not
    // have recorded yet) gives no verdict: the wait goes on to its backstop.
    PacketMutex early(0, false);
    early.armQuietWindow();
    early.passCompleted(Clock::now());
    const auto now = Clock::now();
    EXPECT_EQ(early.waitForAnswer(rule(0, hours(1), now, now + milliseconds(20))), PacketMutex::WAIT_BACKSTOP);

    PacketMutex late(0, false);
    late.armQuietWindow();
    late.passCompleted(Clock::now() - hours(1)); // began before the request: never counts
    late.passCompleted(Clock::now() + hours(2));
    EXPECT_EQ(late.waitForAnswer(rule(0, hours(1), Clock::now(), Clock::now() + hours(3))),
        PacketMutex::WAIT_GUARD);
    // Before the guard the same evidence decides nothing.
    late.checkPacket(answer(0, 0x42).get());
    EXPECT_EQ(late.waitForAnswer(rule(0, hours(1), Clock::now() + hours(1), Clock::now() + hours(3))),
        PacketMutex::WAIT_PACKET);
}

// A box that records nothing for a missing answer: as many quiet passes as
// the rule asks for, but all begun within the window (they came close
// together, or the box put the frame on a busy line late), say nothing; only a
// quiet pass begun after the window closes it.
TEST(PacketMutexVerdict, QuietPassesBegunWithinTheWindowGiveNoVerdict)
{
    PacketMutex mutex(0, false);
    mutex.armQuietWindow();
    const auto armed = Clock::now();
    for (int pass = 0; pass < 12; ++pass)
        mutex.passCompleted(armed + milliseconds(pass));
    EXPECT_EQ(mutex.waitForAnswer(rule(12, milliseconds(60), Clock::now() + hours(1), Clock::now())),
        PacketMutex::WAIT_BACKSTOP);
    mutex.passCompleted(armed + milliseconds(60));
    EXPECT_EQ(mutex.waitForAnswer(rule(12, milliseconds(60), Clock::now() + hours(1), Clock::now() + hours(2))),
        PacketMutex::WAIT_QUIET);
}

TEST(PacketMutexVerdict, AFailedPollEndsTheWaitWithItsStatus)
{
    PacketMutex mutex(0, false);
    mutex.armQuietWindow();
    mutex.pollFailed(-7);
    mutex.endFeed(-3); // the first reason stays
    EXPECT_EQ(mutex.waitForAnswer(rule(2, milliseconds(0), Clock::now() + hours(1), Clock::now() + hours(2))),
        PacketMutex::WAIT_FEED_ENDED);
    EXPECT_EQ(mutex.feedEndStatus(), -7);
}

TEST(PacketMutexVerdict, OnlyTheAwaitedIndexRestartsTheQuietWindow)
{
    const auto wait = [](PacketMutex& mutex) {
        return mutex.waitForAnswer(rule(2, milliseconds(0), Clock::now() + hours(1), Clock::now() + hours(2)));
    };
    PacketMutex other(0, false);
    other.checkPacket(answer(5, 0x01).get()); // before the index was known: dropped then
    other.expectIndex(6);
    other.armQuietWindow();
    other.passCompleted(Clock::now() + hours(1));
    other.checkPacket(answer(7, 0x02).get()); // another frame's record
    other.passCompleted(Clock::now() + hours(1));
    EXPECT_EQ(wait(other), PacketMutex::WAIT_QUIET);

    PacketMutex own(0, false);
    own.expectIndex(6);
    own.armQuietWindow();
    own.passCompleted(Clock::now() + hours(1));
    own.checkPacket(answer(6, 0x03).get());
    own.passCompleted(Clock::now() + hours(1));
    ASSERT_EQ(wait(own), PacketMutex::WAIT_PACKET);
    EXPECT_EQ(own.getPacket()->getUint8(0), 0x03);
    // It restarted the count, and the pass that brought it was not quiet.
    own.passCompleted(Clock::now() + hours(1));
    EXPECT_EQ(own.waitForAnswer(rule(2, milliseconds(0), Clock::now(), Clock::now())), PacketMutex::WAIT_GUARD);
    own.passCompleted(Clock::now() + hours(1));
    EXPECT_EQ(wait(own), PacketMutex::WAIT_QUIET);
}

} // namespace
