#include "network/burst_memory_release.h"

#include <gtest/gtest.h>

#include <vector>

using tarvesk::network::BurstMemoryRelease;

// The memory of a burst is given back once per burst, when most of its
// connections have ended: not per connection, and not for a handful.
TEST(BurstMemoryRelease, TrimsOncePerBurstWhenMostOfItEnded)
{
    const struct
    {
        const char* name;
        std::vector<int> left; // connections left as each one ends
        int trims;
    } cases[] = {
        // At an eighth of the burst, and at an eighth of what was left then.
        {"a burst of 2048 ending", {2047, 1500, 300, 256, 255, 200, 10, 0}, 2},
        {"a small burst", {62, 40, 7, 0}, 0},
        {"one client, connection after connection", {0, 0, 0, 0, 0}, 0},
        {"a burst, then 100 more that end too", {99, 12, 11, 0, 99, 50, 12, 0}, 2},
        {"a burst that leaves 300 held, then they end", {2047, 300, 255, 40, 37, 0}, 2},
    };
    for (const auto& c : cases) {
        BurstMemoryRelease release;
        int trims = 0;
        for (const int left : c.left)
            trims += release.connectionsLeft(left) ? 1 : 0;
        EXPECT_EQ(trims, c.trims) << c.name;
    }
}
