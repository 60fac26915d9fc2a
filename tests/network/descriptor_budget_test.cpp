#include "network/descriptor_budget.h"
#include "network/http_server.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <vector>

using tarvesk::network::DescriptorBudget;
using tarvesk::network::HttpServer;

// The bound leaves the service's own files their reserve beside what it holds
// already, however low the limit; a limit that leaves no room says so (0 or
// less), and a high one keeps the bound of the limit alone.
TEST(DescriptorBudget, TheBoundLeavesTheReserveBesideWhatIsOpen)
{
    const struct
    {
        unsigned long long limit;
        int open;
        int bound;
    } cases[] = {
        {1024, 20, 1024 - 256}, // the usual soft limit: as before
        {256, 12, 128},
        {20000, 30, 2048},
        {RLIM_INFINITY, 30, 2048},
        {64, 12, 32}, // half the limit, as before
        {48, 12, 48 - 12 - 16},
        {32, 10, 6},
        {16, 9, 16 - 9 - 16}, // the idle service holds more than half: no room
        {27, 10, 1},
        {26, 10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        EXPECT_EQ(DescriptorBudget::connectionLimit(c.limit, c.open), c.bound);
        EXPECT_LE(DescriptorBudget::connectionLimit(c.limit, c.open), HttpServer::connectionLimitFor(c.limit));
    }
}

TEST(DescriptorBudget, CountsTheDescriptorsOpenNow)
{
    const int before = DescriptorBudget::openDescriptors();
    EXPECT_GE(before, 3); // at least the standard streams
    std::vector<int> opened;
    for (int i = 0; i < 5; ++i)
        opened.push_back(::dup(0));
    EXPECT_EQ(DescriptorBudget::openDescriptors(), before + 5);
    for (const int fd : opened)
        ::close(fd);
    EXPECT_EQ(DescriptorBudget::openDescriptors(), before);
}
