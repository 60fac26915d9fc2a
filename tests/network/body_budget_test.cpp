#include "network/body_budget.h"

#include "wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using tarvesk::network::BodyBudget;
using namespace std::chrono_literals;

// Many threads reserving at the same moment never hold more than the budget
// between them, and every one that waits long enough gets its room once
// others give theirs back.
TEST(BodyBudgetTest, BodiesReservedAtOnceNeverExceedTheBudget)
{
    constexpr qint64 body = 100 * 1024;
    BodyBudget budget(8 * body);
    std::atomic<int> granted {0};
    std::atomic<int> refused {0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 64; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                BodyBudget::Reservation room = budget.reservation();
                if (room.growTo(body, 10s)) {
                    ++granted;
                    EXPECT_LE(budget.held(), budget.bytes());
                } else {
                    ++refused;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(granted, 64 * 20);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(budget.held(), 0);
    // Large bodies fill three quarters of it at most.
    EXPECT_LE(budget.mostHeld(), 6 * body);
    EXPECT_GE(budget.mostHeld(), body);
}

// What a body is refused for, and when: a large body never takes the last
// quarter (ordinary calls get it), a body that could never fit is refused
// without waiting, a wait ends when room is given back, and after stopWaits()
// no one waits.
TEST(BodyBudgetTest, LargeBodiesLeaveRoomForSmallOnesAndWaitsEnd)
{
    constexpr qint64 total = 1024 * 1024;
    BodyBudget budget(total);
    BodyBudget::Reservation large = budget.reservation();
    ASSERT_TRUE(large.growTo(total * 3 / 4, 0ms));
    BodyBudget::Reservation another = budget.reservation();
    EXPECT_FALSE(another.growTo(BodyBudget::SmallBody + 1, 0ms));
    EXPECT_EQ(another.bytes(), 0);
    BodyBudget::Reservation small = budget.reservation();
    EXPECT_TRUE(small.growTo(BodyBudget::SmallBody, 0ms));

    BodyBudget::Reservation tooLarge = budget.reservation();
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(tooLarge.growTo(total, 60s));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 30s);

    std::thread giver([&] { large.release(); });
    EXPECT_TRUE(another.growTo(total / 2, 60s));
    giver.join();
    EXPECT_EQ(budget.held(), total / 2 + BodyBudget::SmallBody);

    budget.stopWaits();
    BodyBudget::Reservation late = budget.reservation();
    EXPECT_FALSE(late.growTo(total / 2, 60s));
    another.release();
    small.release();
    EXPECT_EQ(budget.held(), 0);
}

// A body takes its room as its bytes arrive: at most doubling at each step
// (from the first room), never past what it announced nor past the most a
// body may have, and always enough for what came.
TEST(BodyBudgetTest, RoomGrowsWithTheBytesThatArrived)
{
    constexpr qint64 MiB = 1024 * 1024;
    constexpr qint64 first = BodyBudget::FirstRoom;
    const struct
    {
        qint64 announced;
        qint64 held;
        qint64 arrived;
        qint64 room;
    } cases[] = {
        {16 * MiB, 0, 1, first},                  // an announced size takes nothing ahead
        {100, 0, 100, 100},                       // a small body: its size
        {BodyBudget::UnknownSize, 0, 1, first},   // chunked: the first room
        {BodyBudget::UnknownSize, 0, 3 * first, 3 * first}, // a first chunk larger than it
        {16 * MiB, first, first + 1, 2 * first},  // doubling
        {16 * MiB, 8 * MiB, 8 * MiB + 1, 16 * MiB},
        {12 * MiB, 8 * MiB, 8 * MiB + 1, 12 * MiB}, // never past the announced size
        {BodyBudget::UnknownSize, 12 * MiB, 12 * MiB + 1, 16 * MiB}, // nor past the most
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.announced << " announced, " << c.held << " held, " << c.arrived);
        BodyBudget budget(64 * MiB);
        BodyBudget::Reservation room = budget.reservation(c.announced);
        ASSERT_TRUE(room.growTo(c.held, 0ms));
        EXPECT_EQ(room.roomFor(c.arrived, 16 * MiB), c.room);
    }
}

// An announcement holds nothing, so any number of them leave room for a body
// that sends its bytes; a body announced large is held to three quarters of
// the budget from its first byte on (a chunked one only once it has grown
// large); and an announced body is told whether it would find room now.
TEST(BodyBudgetTest, AnnouncedBodiesHoldNothingAndCountAsLargeFromTheirFirstByte)
{
    constexpr qint64 total = 1024 * 1024;
    BodyBudget budget(total);
    std::vector<BodyBudget::Reservation> announced;
    for (int i = 0; i < 100; ++i)
        announced.push_back(budget.reservation(total / 2));
    EXPECT_EQ(budget.held(), 0);
    EXPECT_TRUE(announced.front().waitForRoom(0ms));

    BodyBudget::Reservation large = budget.reservation(total * 3 / 4);
    ASSERT_TRUE(large.growTo(total * 3 / 4, 0ms));
    // Its first bytes would fit the quarter left, but they are a large body's.
    BodyBudget::Reservation anotherLarge = budget.reservation(BodyBudget::SmallBody + 1);
    EXPECT_FALSE(anotherLarge.waitForRoom(0ms));
    EXPECT_FALSE(anotherLarge.growTo(BodyBudget::FirstRoom, 0ms));
    BodyBudget::Reservation chunked = budget.reservation();
    EXPECT_TRUE(chunked.growTo(BodyBudget::FirstRoom, 0ms));
    EXPECT_FALSE(chunked.growTo(BodyBudget::SmallBody + 1, 0ms));
    BodyBudget::Reservation small = budget.reservation(BodyBudget::SmallBody);
    EXPECT_TRUE(small.waitForRoom(0ms));
    EXPECT_TRUE(small.growTo(BodyBudget::SmallBody, 0ms));
    // One that not even an empty budget could hold is told so at once.
    BodyBudget::Reservation never = budget.reservation(total);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(never.waitForRoom(60s));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 30s);
}

// Of the bodies that hold room and need more, one at a time waits for it: the
// others are refused at once and give theirs back, instead of all of them
// waiting on one another until every one is refused. The one that waits gets
// its room when others end.
TEST(BodyBudgetTest, OneBodyHoldingRoomWaitsForMoreTheOthersAreRefused)
{
    constexpr qint64 total = 1024 * 1024;
    constexpr qint64 part = total / 8;
    BodyBudget budget(total);
    BodyBudget::Reservation done = budget.reservation(3 * part);
    ASSERT_TRUE(done.growTo(3 * part, 0ms));
    BodyBudget::Reservation waiting = budget.reservation(4 * part);
    ASSERT_TRUE(waiting.growTo(part, 0ms));
    BodyBudget::Reservation other = budget.reservation(4 * part);
    ASSERT_TRUE(other.growTo(2 * part, 0ms));

    std::atomic<bool> grown {false};
    std::thread waiter([&] { grown = waiting.growTo(4 * part, 60s); });
    // (No ASSERT while the threads run: they must be joined.)
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return budget.waitingBodies() == 1; }, 30000));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(other.growTo(4 * part, 60s));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 30s);
    EXPECT_EQ(other.bytes(), 2 * part);
    // A body that holds nothing yet may wait beside it.
    BodyBudget::Reservation fresh = budget.reservation(part);
    std::thread freshWaiter([&] { EXPECT_TRUE(fresh.growTo(part, 60s)); });
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return budget.waitingBodies() == 2; }, 30000));

    other.release();
    done.release();
    waiter.join();
    freshWaiter.join();
    EXPECT_TRUE(grown);
    EXPECT_EQ(budget.held(), 5 * part);
}
