#include "sim_dali_bus_fixture.h"

#include "dali/sim_dali_timing.h"

#include <gtest/gtest.h>

using tarvesk::sim::SimDaliAnswer;
using tarvesk::sim::SimDaliBus;
using tarvesk::sim::SimDaliGearConfig;

namespace {

struct SimDaliBusTest : ::testing::Test, tarvesk::test::SimDaliBusFixture
{
};

TEST_F(SimDaliBusTest, WithoutSupplyNothingGoesOut)
{
    SimDaliGearConfig config;
    config.shortAddress = 1;
    auto gear = add(config);
    store(0x03, 0x2C, 50); // SET SYSTEM FAILURE LEVEL
    bus.setSupply(false);
    EXPECT_FALSE(bus.hasDaliSupply());
    EXPECT_EQ(gear->actualLevel(), 50);
    EXPECT_EQ(frame(0x03, 0x91).kind, SimDaliAnswer::None);
    const qint64 frames = bus.forwardFrames();
    frame(0x03, 0x00);
    EXPECT_EQ(bus.forwardFrames(), frames);
    EXPECT_EQ(gear->actualLevel(), 50);
    bus.setSupply(true);
    EXPECT_EQ(frame(0x03, 0x91).value, 0xFF);
}

TEST_F(SimDaliBusTest, BusTimeFollowsTheFrameDurations)
{
    SimDaliGearConfig config;
    config.shortAddress = 0;
    add(config);
    frame(0x01, 0x91);
    EXPECT_EQ(bus.nowUs(), 0.0); // instant unless asked

    bus.setTiming(SimDaliBus::Timing::BusTime);
    // 1200 bit/s: a 16-bit forward frame is a start bit, 16 bits and a stop
    // condition of two bit times = 19 bits; a backward frame 1 + 8 + 2 = 11 bits.
    const double bitUs = 1e6 / 1200.0;
    const double start = bus.nowUs();
    frame(0x03, 0x91); // nobody: settling after a backward frame, then the frame
    EXPECT_NEAR(bus.nowUs() - start, 2400.0 + 19 * bitUs, 0.01);
    const double second = bus.nowUs();
    frame(0x01, 0x91); // answered: settling after a forward frame, frame, delay, backward frame
    EXPECT_NEAR(bus.nowUs() - second, 13500.0 + 19 * bitUs + 5500.0 + 11 * bitUs, 0.01);
    EXPECT_EQ(bus.backwardFrames(), 2);
}

TEST_F(SimDaliBusTest, ALateGearAnswersAfterTheWindowAndOnlyWhenNobodyElseDoes)
{
    SimDaliGearConfig late;
    late.shortAddress = 2;
    late.answerLate = true;
    add(late);
    bus.setTiming(SimDaliBus::Timing::BusTime);
    frame(0x05, 0x00); // a forward frame first: the settling time below is the one after it
    const double start = bus.nowUs();
    const SimDaliAnswer answer = frame(0x05, 0x91);
    EXPECT_EQ(answer.kind, SimDaliAnswer::Late);
    EXPECT_EQ(answer.value, 0xFF);
    const double bitUs = 1e6 / 1200.0;
    EXPECT_NEAR(bus.nowUs() - start, 13500.0 + 19 * bitUs + 12500.0 + 11 * bitUs, 0.01);
    EXPECT_EQ(bus.backwardFrames(), 1);

    SimDaliGearConfig inTime;
    inTime.shortAddress = 2;
    add(inTime);
    EXPECT_EQ(frame(0x05, 0x91).kind, SimDaliAnswer::Answer);
}

} // namespace
