#include "dali/sim_dali_bus.h"
#include "dali/sim_dali_gear_bench.h"
#include "sim_dali_bus_fixture.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace tarvesk::sim;

namespace {

// D4i gear at short address 0, built from its bench entry, spoken to frame by frame.
struct SimDaliD4iBanks : ::testing::Test, tarvesk::test::SimDaliBusFixture
{
    std::shared_ptr<SimDaliGear> gear;

    void build(const char* json)
    {
        QString error;
        auto model = createDaliGearFromBench(QJsonDocument::fromJson(json).object(), &error);
        ASSERT_TRUE(model) << error.toStdString();
        auto* own = dynamic_cast<SimDaliBus*>(model.get());
        ASSERT_TRUE(own);
        gear = std::shared_ptr<SimDaliGear>(model, &own->gear(0)); // keeps the model alive
        bus.addGear(gear);
    }
    void select(quint8 bank, quint8 location)
    {
        frame(0xC3, bank);     // DTR1
        frame(0xA3, location); // DTR0
    }
    std::optional<int> writeAt(quint8 bank, quint8 location, quint8 value)
    {
        select(bank, location);
        twice(0x01, 0x81); // ENABLE WRITE MEMORY
        return query(0xC7, value);
    }
    std::optional<int> unlockAndWrite(quint8 bank, quint8 location, quint8 value)
    {
        EXPECT_EQ(writeAt(bank, 2, 0x55), 0x55);
        select(bank, location);
        return query(0xC7, value);
    }
    quint64 readNumber(quint8 bank, quint8 location, int length)
    {
        select(bank, location);
        quint64 value = 0;
        for (int i = 0; i < length; ++i)
            value = (value << 8) | quint64(query(0x01, 0xC5).value_or(-1));
        return value;
    }
};

TEST_F(SimDaliD4iBanks, ReadOnlyWhereTheStandardSays)
{
    build(R"({"model": "dali_gear", "short_address": 0, "banks": {
        "1": [1, 2, 3, 4],
        "201": [1, 100, 120, 1],
        "202": [1, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 9],
        "206": [1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0],
        "207": [1, 8, 9, 0, 0]}})");
    const struct
    {
        quint8 bank, location;
        bool takesIt;
    } cases[] = {
        {1, 3, true},
        {1, 6, true}, // luminaire data
        {201, 3, false},
        {201, 4, false},
        {201, 6, true}, // only the supply's status
        {202, 4, false},
        {202, 10, false},
        {202, 15, false}, // energy and power
        {206, 3, false},
        {206, 4, true},
        {206, 6, true},
        {206, 7, false}, // start counters
        {206, 10, true},
        {206, 13, true},
        {206, 14, false}, // on times
        {207, 3, false},
        {207, 4, true},
        {207, 7, true},
    };
    for (const auto& c : cases) {
        const auto answer = unlockAndWrite(c.bank, c.location, 0x42);
        EXPECT_EQ(answer, c.takesIt ? std::optional<int>(0x42) : std::nullopt)
            << int(c.bank) << ":" << int(c.location);
    }
    // The lock byte guards them all.
    gear->powerUp();
    select(207, 4);
    twice(0x01, 0x81);
    EXPECT_EQ(query(0xC7, 0x01), std::nullopt);
}

TEST_F(SimDaliD4iBanks, TheLatchFreezesAnAdvancingEnergyCounter)
{
    // Active energy 0x00000000FFFB, one more at every read of bank 202.
    build(R"({"model": "dali_gear", "short_address": 0, "energy_step": 1,
        "banks": {"202": [1, 0, 0, 0, 0, 0, 255, 251, 0, 0, 0, 0, 0]}})");

    // Read byte by byte while it counts through 0xFFFB..0x10000, the number
    // read is none of those: the carry came between its last two bytes.
    EXPECT_EQ(readNumber(202, 5, 6), 0x00000000FF00u);

    // Latched, every read gives the counter as it was at the latch: 0xFFFB
    // and the six reads above.
    EXPECT_EQ(writeAt(202, 2, 0xAA), 0xAA);
    const quint64 atLatch = 0x10001;
    EXPECT_EQ(readNumber(202, 5, 6), atLatch);
    EXPECT_EQ(readNumber(202, 5, 6), atLatch);
    select(202, 2);
    EXPECT_EQ(query(0x01, 0xC5), 0xAA); // the lock byte itself shows the latch

    // Released, the reads see the counter run on (six counts per read).
    EXPECT_EQ(writeAt(202, 2, 0xFF), 0xFF);
    EXPECT_EQ(readNumber(202, 5, 6), atLatch + 18);
    // A power cycle releases the latch too.
    EXPECT_EQ(writeAt(202, 2, 0xAA), 0xAA);
    gear->powerUp();
    EXPECT_NE(readNumber(202, 5, 6), readNumber(202, 5, 6));
}

TEST(SimDaliD4iBench, AnEnergyStepNeedsTheEnergyBank)
{
    for (const char* json : {R"({"model": "dali_gear", "energy_step": 1})",
             R"({"model": "dali_gear", "energy_step": 1, "banks": {"202": [1, 0, 0]}})",
             R"({"model": "dali_gear", "energy_step": -1, "banks": {"202": [1, 0, 0, 0, 0, 0, 0, 0]}})"}) {
        QString error;
        EXPECT_FALSE(createDaliGearFromBench(QJsonDocument::fromJson(json).object(), &error)) << json;
        EXPECT_FALSE(error.isEmpty()) << json;
    }
}

} // namespace
