#include "network/log_throttle.h"

#include <gtest/gtest.h>

using tarvesk::network::LogThrottle;
using namespace std::chrono_literals;

// The first of a message is written, its repeats at most once a period with
// the count of those held back; other messages have their own count.
TEST(LogThrottleTest, RepeatsAreHeldBackForAPeriodAndCounted)
{
    LogThrottle throttle(60s);
    const char first[] = "Server reached connection limit.";
    const char second[] = "Error accepting connection";
    const LogThrottle::Clock::time_point start {};
    int heldBack = -1;

    EXPECT_TRUE(throttle.admit(first, start, &heldBack));
    EXPECT_EQ(heldBack, 0);
    for (const std::chrono::milliseconds later : {1ms, 1000ms, 59999ms})
        EXPECT_FALSE(throttle.admit(first, start + later, &heldBack)) << later.count();
    EXPECT_TRUE(throttle.admit(second, start + 1s, &heldBack));
    EXPECT_EQ(heldBack, 0);

    EXPECT_TRUE(throttle.admit(first, start + 60s, &heldBack));
    EXPECT_EQ(heldBack, 3);
    EXPECT_FALSE(throttle.admit(first, start + 61s, &heldBack));
    EXPECT_TRUE(throttle.admit(first, start + 200s, &heldBack));
    EXPECT_EQ(heldBack, 1);
}
