#include "../sim_test_support.h"

#include "dmx/sim_dmx_bench.h"
#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_bench.h"
#include "dorvane/sim_dorvane_driver.h"
#include "drivers/sim_driver_core.h"

using namespace tarvesk;
using sim::SimDriverCore;

namespace {

// The two words in which the driver keeps three bytes of a profile row.
std::pair<quint16, quint16> packed(int b0, int b1, int b2)
{
    return {quint16(b0 | (b2 & 0x0F) << 8), quint16(b1 | (b2 & 0xF0) << 4)};
}

quint16 read(const SimDriverCore& core, quint16 number)
{
    quint16 value = 0xDEAD;
    EXPECT_TRUE(core.readParameter(number, value)) << number;
    return value;
}

} // namespace

TEST(SimDriverPresmonde, BufferDumpsIntoTheTargetProfileRow)
{
    SimDriverCore core;
    quint16 value = 0;
    EXPECT_FALSE(core.readParameter(105, value));
    EXPECT_FALSE(core.writeParameter(0x4741, 1));
    core.setParameter(105, 0x80);
    core.enablePresmondeMemory();
    EXPECT_EQ(read(core, 105), 0x80); // set before: kept
    for (quint16 number : {1, 10, 11, 12, 13, 52, 81, 180, 181, 16358, 16361})
        EXPECT_EQ(read(core, number), 0);

    // Region 14 (0x3CE0): 16-bit writes, low byte first, then a lone byte.
    EXPECT_TRUE(core.writeParameter(0x4740, 14));
    EXPECT_TRUE(core.writeParameter(0x4741, 0x0201));
    EXPECT_TRUE(core.writeParameter(0x4743, 0xAB03));
    EXPECT_TRUE(core.writeParameter(0x4745, 0x00F5));
    EXPECT_EQ(read(core, 0x740), 14);
    EXPECT_EQ(read(core, 0x742), 2);
    // The dump needs the unlock right before it.
    EXPECT_TRUE(core.writeSpecial(0x00B7));
    EXPECT_EQ(core.dumps(), 0);
    EXPECT_TRUE(core.writeSpecial(0x00C3));
    EXPECT_TRUE(core.writeSpecial(0x00B7));
    EXPECT_EQ(core.dumps(), 1);
    EXPECT_EQ(read(core, 7864), 0);
    const auto first = packed(1, 2, 3), second = packed(0xAB, 0xF5, 0);
    EXPECT_EQ(read(core, 0x3CE0), first.first);
    EXPECT_EQ(read(core, 0x3CE1), first.second);
    EXPECT_EQ(read(core, 0x3CE2), second.first);
    EXPECT_EQ(read(core, 0x3CE3), second.second);
    EXPECT_EQ(core.bootloader().word(0x3CE4), 0);
    EXPECT_EQ(read(core, 0x741), 0); // the buffer is empty after a dump
    EXPECT_FALSE(core.inBootloader());

    // Byte writes; a target that is no profile row is refused with status 1.
    EXPECT_TRUE(core.writeParameter(0x740, 11));
    EXPECT_TRUE(core.writeParameter(0x741, 0x77));
    core.writeSpecial(0x00C3);
    core.writeSpecial(0x00B7);
    EXPECT_EQ(read(core, 7864), 1);
    EXPECT_EQ(read(core, 0x3CE0), first.first);

    // Beyond the buffer and into the rows nothing is written.
    EXPECT_FALSE(core.writeParameter(0x741 + SimDriverCore::BufferBytes, 1));
    EXPECT_FALSE(core.writeParameter(0x4741 + SimDriverCore::BufferBytes - 1, 1));
    EXPECT_FALSE(core.writeParameter(0x3D00, 1));
    EXPECT_EQ(read(core, 0x3D1F), 0); // an empty profile, not erased flash
}

TEST(SimDriverPresmonde, BenchKey)
{
    QString error;
    const auto model = sim::createWystrelDriverFromBench(
        QJsonObject {{"presmonde", true}, {"parameters", QJsonObject {{"16361", 0x0315}}}}, &error);
    auto driver = std::dynamic_pointer_cast<sim::SimWystrelDriver>(model);
    ASSERT_TRUE(driver) << error.toStdString();
    EXPECT_TRUE(driver->core().hasPresmondeMemory());
    EXPECT_EQ(read(driver->core(), 16361), 0x0315);
    EXPECT_EQ(read(driver->core(), 52), 0);
    EXPECT_FALSE(sim::createDorvaneDriverFromBench(QJsonObject {{"presmonde", 3}}, &error));
    EXPECT_TRUE(error.contains("presmonde")) << error.toStdString();
}

// The box's own parameter set writes the special parameter of the driver on
// its Dorvane port: unlock and dump as over the bridge.
TEST(SimDriverPresmonde, DorvaneParameterSetReachesTheSpecialParameter)
{
    sim::SimDorvaneDriver driver;
    driver.core().enablePresmondeMemory();
    EXPECT_TRUE(driver.writeDorvaneParameter(0x4740, 16));
    EXPECT_TRUE(driver.writeDorvaneParameter(0x4741, 0x0201));
    EXPECT_TRUE(driver.writeDorvaneParameter(0x4743, 0x03));
    quint16 value = 0;
    for (quint16 code : {0x00C3, 0x00B7}) {
        EXPECT_TRUE(driver.writeDorvaneParameter(SimDriverCore::SpecialParameter, code));
        EXPECT_TRUE(driver.readDorvaneParameter(SimDriverCore::SpecialParameter, value));
        EXPECT_EQ(value, code);
    }
    EXPECT_EQ(driver.core().dumps(), 1);
    const auto words = packed(1, 2, 3);
    EXPECT_EQ(read(driver.core(), 0x3D00), words.first);
    EXPECT_EQ(read(driver.core(), 0x3D01), words.second);
}
