#include "log_capture.h"

#include "log/logging_categories.h"
#include "protocol/packet_log.h"

#include <gtest/gtest.h>

#include <thread>

using tarvesk::proto::PacketLog;
using tarvesk::proto::RawPacket;

namespace {

using Copies = std::vector<std::unique_ptr<RawPacket>>;

RawPacket* numbered(int n)
{
    auto* p = new RawPacket();
    p->appendByte(static_cast<unsigned char>(n));
    return p;
}

TEST(PacketLog, BoundKeepsMaximumMinusOne)
{
    PacketLog log;
    log.setMaximumLogLength(3);
    log.addPacket(numbered(1));
    EXPECT_EQ(log.size(), 1);
    log.addPacket(numbered(2));
    EXPECT_EQ(log.size(), 2);
    for (int n = 3; n <= 6; ++n) {
        log.addPacket(numbered(n));
        EXPECT_EQ(log.size(), 2);
    }
    Copies out;
    EXPECT_EQ(log.getPackets(out, 0, 1), 0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0]->getUint8(0), 5); // the oldest went first
    EXPECT_EQ(out[1]->getUint8(0), 6);

    PacketLog unbounded;
    for (int n = 0; n < 20; ++n)
        unbounded.addLogMessage(QString::number(n));
    EXPECT_EQ(unbounded.size(), 20);
    unbounded.clear();
    EXPECT_EQ(unbounded.size(), 0);
}

TEST(PacketLog, Paging)
{
    PacketLog log;
    for (int n = 0; n < 5; ++n)
        log.addPacket(numbered(n));
    struct Case
    {
        int from, count, result;
        std::vector<int> firstBytes;
    };
    const Case cases[] = {
        {0, 1, 0, {0, 1, 2, 3, 4}}, // count sets no upper bound
        {3, 1, 0, {3, 4}},
        {7, 5, 0, {}},
        {5, 1, 0, {}},
        {2, 0, 3, {}},
        {0, -1, 5, {}},
        {7, 0, 0, {}}, // never negative
        {-3, 1, 0, {0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        Copies out;
        EXPECT_EQ(log.getPackets(out, c.from, c.count), c.result) << c.from << "," << c.count;
        std::vector<int> got;
        for (const auto& p : out)
            got.push_back(p->getUint8(0));
        EXPECT_EQ(got, c.firstBytes) << c.from << "," << c.count;
    }
}

TEST(PacketLog, TextEntriesAndLevels)
{
    PacketLog log;
    tarvesk::test::LogCapture capture;
    log.info("plain");
    log.warning("careful");
    log.error("broken");
    log.addLogMessage("note");
    log.addPacket(nullptr); // refused, not logged
    EXPECT_TRUE(capture.hasWarningContaining("careful"));
    EXPECT_TRUE(capture.hasWarningContaining("broken"));
    EXPECT_TRUE(capture.hasWarningContaining(GLOG_PREFIX));
    EXPECT_FALSE(capture.hasWarningContaining("plain"));

    Copies out;
    log.getPackets(out, 0, 1);
    ASSERT_EQ(out.size(), 4u);
    const char* texts[] = {"plain", "careful", "broken", "note"};
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i]->getLogText(), texts[i]);
        EXPECT_EQ(out[i]->getPacketTypeIdentString(), "LOG ");
    }
}

TEST(PacketLog, ReadersGetCopiesThatOutliveEviction)
{
    PacketLog log;
    log.setMaximumLogLength(3);
    RawPacket* first = numbered(1);
    first->addAttribute("kept", 42);
    first->setTimeSinceLast(2.5);
    log.addPacket(first);
    Copies out;
    log.getPackets(out, 0, 1);
    for (int n = 2; n < 10; ++n)
        log.addPacket(numbered(n)); // deletes the logged original
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->getUint8(0), 1);
    EXPECT_EQ(out[0]->getAttribute("kept"), QVariant(42));
    EXPECT_EQ(out[0]->getTimeSinceLast(), 2.5);
}

TEST(PacketLog, AppendsAndReadsFromTwoThreads)
{
    PacketLog log;
    log.setMaximumLogLength(50);
    std::thread monitor([&] {
        for (int n = 0; n < 2000; ++n)
            log.addPacket(numbered(n));
    });
    for (int i = 0; i < 200; ++i) {
        Copies out;
        log.getPackets(out, i % 60, 1);
        for (const auto& p : out)
            ASSERT_EQ(p->getDataSize(), 1);
    }
    monitor.join();
    EXPECT_EQ(log.size(), 49);
}

} // namespace
