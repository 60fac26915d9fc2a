#include "protocol/usb/vandrel_bootloader_request.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace proto = tarvesk::proto;

namespace {

std::vector<int> head(const proto::VandrelReport& report, int count = 6)
{
    return std::vector<int>(report.begin(), report.begin() + count);
}

bool restIsZero(const proto::VandrelReport& report)
{
    for (size_t i = 6; i < report.size(); ++i) {
        if (report[i] != 0)
            return false;
    }
    return true;
}

} // namespace

// Bootloader report: 0x17, function, time (high, low) in the function's unit,
// then 0x01 0xF4. The spam of firmware 18 counts 12 ms, the functions 3 ms.
TEST(VandrelBootloaderRequest, BytesPerFunction)
{
    struct Case
    {
        const char* name;
        proto::VandrelReport report;
        std::vector<int> bytes;
    };
    const Case cases[] = {
        {"legacy spam 3000 ms = 250 units", proto::vandrelLegacySpamRequest(3000),
            {0x17, 0x01, 0x00, 0xFA, 0x01, 0xF4}},
        {"spam function 3000 ms = 1000 units",
            proto::vandrelBootloaderFunctionRequest(proto::vandrel::BootloaderSpam, 3000),
            {0x17, 0x01, 0x03, 0xE8, 0x01, 0xF4}},
        {"start 3000 ms", proto::vandrelBootloaderFunctionRequest(proto::vandrel::BootloaderStart, 3000),
            {0x17, 0x03, 0x03, 0xE8, 0x01, 0xF4}},
        {"stop", proto::vandrelBootloaderFunctionRequest(proto::vandrel::BootloaderStop, 0),
            {0x17, 0x04, 0x00, 0x00, 0x01, 0xF4}},
        {"status", proto::vandrelBootloaderStatusRequest(), {0x17, 0x02, 0x00, 0x00, 0x01, 0xF4}},
        {"legacy spam 23 ms truncates to 1 unit", proto::vandrelLegacySpamRequest(23),
            {0x17, 0x01, 0x00, 0x01, 0x01, 0xF4}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(head(c.report), c.bytes) << c.name;
        EXPECT_TRUE(restIsZero(c.report)) << c.name;
    }
}

// The time field is 16 bits: longer times are held at 0xFFFF units, never
// wrapped into a short one; negative times count as 0.
TEST(VandrelBootloaderRequest, TimeFieldIsClampedNotWrapped)
{
    EXPECT_EQ(proto::vandrelBootloaderTimeUnits(65535 * 12, 12), 0xFFFF);
    EXPECT_EQ(proto::vandrelBootloaderTimeUnits(65536 * 12, 12), 0xFFFF);
    EXPECT_EQ(proto::vandrelBootloaderTimeUnits(INT_MAX, 3), 0xFFFF);
    EXPECT_EQ(proto::vandrelBootloaderTimeUnits(-3000, 3), 0);
    EXPECT_EQ(head(proto::vandrelLegacySpamRequest(1000000)),
        (std::vector<int> {0x17, 0x01, 0xFF, 0xFF, 0x01, 0xF4}));
    EXPECT_EQ(head(proto::vandrelBootloaderFunctionRequest(proto::vandrel::BootloaderStart, -1)),
        (std::vector<int> {0x17, 0x03, 0x00, 0x00, 0x01, 0xF4}));
}

TEST(VandrelBootloaderRequest, StatusReplyFields)
{
    unsigned char reply[64] = {0x97, 0x02, 0x02, 0, 0, 0x01, 0x10, 0, 0, 0, 0, 0x01, 0x21};
    const auto status = proto::VandrelBootloaderStatus::fromReply(reply);
    EXPECT_EQ(status.state, proto::vandrel::BootloaderWaitAnswered);
    EXPECT_EQ(status.count, 0x0110);
    EXPECT_TRUE(status.entered);
    EXPECT_EQ(status.remainingUnits, 0x21);
    reply[11] = 2; // only 1 means "really entered"
    EXPECT_FALSE(proto::VandrelBootloaderStatus::fromReply(reply).entered);
}
