#include "network/body_budget.h"

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
