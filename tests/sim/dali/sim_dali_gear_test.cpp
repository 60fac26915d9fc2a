#include "sim_dali_bus_fixture.h"

#include <gtest/gtest.h>

using tarvesk::sim::SimDaliAnswer;
using tarvesk::sim::SimDaliGear;
using tarvesk::sim::SimDaliGearConfig;

namespace {

constexpr int Yes = 0xFF;

struct SimDaliGearTest : ::testing::Test, tarvesk::test::SimDaliBusFixture
{
};

SimDaliGearConfig gearAt(int shortAddress, quint32 seed = 1)
{
    SimDaliGearConfig config;
    config.shortAddress = shortAddress;
    config.randomSeed = seed;
    return config;
}

TEST_F(SimDaliGearTest, AddressingAndCollisions)
{
    auto a = add(gearAt(3));
    auto b = add(gearAt(5));
    add(SimDaliGearConfig()); // no short address

    EXPECT_EQ(query(0x07, 0x91), Yes);          // short 3
    EXPECT_EQ(query(0x09, 0x91), std::nullopt); // short 4: nobody
    EXPECT_EQ(frame(0xFF, 0x91).kind, SimDaliAnswer::Collision);
    EXPECT_EQ(query(0xFD, 0x91), Yes); // only the gear without a short address
    EXPECT_EQ(query(0x07, 0x96), std::nullopt);

    // Groups: gear 5 joins group 2 and answers to it alone.
    twice(0x0B, 0x62);
    EXPECT_EQ(b->groups(), 0x0004);
    EXPECT_EQ(query(0x85, 0x91), Yes);
    EXPECT_EQ(query(0x0B, 0xC0), 0x04);
    twice(0x0B, 0x72);
    EXPECT_EQ(query(0x85, 0x91), std::nullopt);

    frame(0x06, 0x80); // direct arc power to short 3
    EXPECT_EQ(a->actualLevel(), 0x80);
    EXPECT_EQ(b->actualLevel(), 254);
}

TEST_F(SimDaliGearTest, ConfigurationCommandsActOnlyWhenRepeated)
{
    auto gear = add(gearAt(1));
    frame(0xA3, 200);
    frame(0x03, 0x2A); // SET MAX LEVEL once
    EXPECT_EQ(query(0x03, 0xA1), 254);

    frame(0xA3, 200);
    frame(0x03, 0x2A);
    frame(0x03, 0xA0); // anything in between cancels the pair
    frame(0x03, 0x2A);
    EXPECT_EQ(query(0x03, 0xA1), 254);

    store(0x03, 0x2A, 200);
    EXPECT_EQ(query(0x03, 0xA1), 200);
    EXPECT_EQ(gear->actualLevel(), 200);

    // The repeat must come within 100 ms.
    const QByteArray setMin("\x03\x2B", 2);
    gear->receive(QByteArray("\xA3\x10", 2), 0);
    gear->receive(setMin, 0);
    gear->receive(setMin, 150000);
    EXPECT_EQ(query(0x03, 0xA2), 1);
    gear->receive(setMin, 200000);
    gear->receive(setMin, 250000);
    EXPECT_EQ(query(0x03, 0xA2), 0x10);
}

// The stores and queries that the DALI device uses, after a known set-up.
TEST_F(SimDaliGearTest, StoresAndQueries)
{
    add(gearAt(2));
    store(0x05, 0x2B, 20);  // SET MIN LEVEL
    store(0x05, 0x2D, 100); // SET POWER ON LEVEL
    store(0x05, 0x2C, 0);   // SET SYSTEM FAILURE LEVEL
    store(0x05, 0x4F, 77);  // SET SCENE 15
    store(0x05, 0x2E, 3);   // SET FADE TIME
    frame(0x05, 0x1F);      // GO TO SCENE 15

    const struct
    {
        quint8 opcode;
        std::optional<int> answer;
    } rows[] = {
        {0x90, 0x04},         // status: lamp on only
        {0x91, Yes},          // control gear present
        {0x92, std::nullopt}, // lamp failure
        {0x93, Yes},          // lamp power on
        {0x95, std::nullopt}, // reset state
        {0x97, 0x08},         // version 2.0
        {0x99, 6},            // device type: LED modules
        {0x9A, 1},            // physical minimum
        {0x9B, std::nullopt}, // power failure: an arc power command came
        {0x9F, 6},            // light source: LED
        {0xA0, 77},           // actual level
        {0xA2, 20}, {0xA3, 100}, {0xA4, 0}, {0xA5, 0x37}, {0xBF, 77}, // scene 15
        {0xB0, 0xFF},                                                 // scene 0: none
        {0xC2, 0xFF},                                                 // random address H
    };
    for (const auto& row : rows)
        EXPECT_EQ(query(0x05, row.opcode), row.answer) << std::hex << int(row.opcode);

    // RESET brings back the reset state, the short address stays.
    twice(0x05, 0x20);
    EXPECT_EQ(query(0x05, 0x95), Yes);
    EXPECT_EQ(query(0x05, 0x90), 0x24);
}

TEST_F(SimDaliGearTest, DeviceType6CommandsNeedEnableDeviceType)
{
    auto led = add(gearAt(4));
    SimDaliGearConfig plain = gearAt(6);
    plain.deviceType6 = false;
    add(plain);

    EXPECT_EQ(query(0x09, 0xEE), std::nullopt); // no ENABLE DEVICE TYPE
    frame(0xA3, 1);
    frame(0xC1, 6);
    twice(0x09, 0xE3); // SELECT DIMMING CURVE linear, sent twice after one ENABLE
    EXPECT_EQ(led->dimmingCurve(), 1);
    frame(0xC1, 6);
    EXPECT_EQ(query(0x09, 0xEE), 1);
    frame(0xC1, 6);
    EXPECT_EQ(query(0x09, 0xFC), 0x14);
    EXPECT_EQ(query(0x09, 0xEE), std::nullopt); // the enable held for one command

    led->setLedFailureStatus(0x02); // open circuit
    frame(0xC1, 6);
    EXPECT_EQ(query(0x09, 0xF3), Yes);
    frame(0xC1, 6);
    EXPECT_EQ(query(0x09, 0xF2), std::nullopt);

    frame(0xC1, 6);
    EXPECT_EQ(query(0x0D, 0xFF), std::nullopt); // the plain gear has no device type 6
    EXPECT_EQ(query(0x0D, 0x99), 254);
}

TEST_F(SimDaliGearTest, MemoryBank0IsTheIdentity)
{
    SimDaliGearConfig config = gearAt(0);
    config.identity.gtin = 0x010203040506ull;
    config.identity.firmwareMajor = 3;
    config.identity.firmwareMinor = 12;
    add(config);
    frame(0xC3, 0); // DTR1: bank 0
    frame(0xA3, 3); // DTR0: GTIN
    for (int expected : {1, 2, 3, 4, 5, 6, 3, 12})
        EXPECT_EQ(query(0x01, 0xC5), expected);
    EXPECT_EQ(query(0x01, 0x98), 11); // DTR0 advanced past each location
    frame(0xA3, 0);
    EXPECT_EQ(query(0x01, 0xC5), 0x1A);         // last accessible location
    EXPECT_EQ(query(0x01, 0xC5), std::nullopt); // location 1 is not implemented
    EXPECT_EQ(query(0x01, 0xC5), 0);            // no bank beyond 0 yet
    frame(0xC3, 7);
    frame(0xA3, 0);
    EXPECT_EQ(query(0x01, 0xC5), std::nullopt); // bank 7 does not exist
}

TEST_F(SimDaliGearTest, WritableBankWithItsLockByte)
{
    auto gear = add(gearAt(0));
    gear->memory().addBank(1, QByteArray("\x10\x20\x30", 3), {true, false, true});
    auto write = [&](quint8 value) { return query(0xC7, value); };
    auto select = [&](quint8 location) {
        frame(0xC3, 1);
        frame(0xA3, location);
    };

    select(3);
    EXPECT_EQ(write(0x99), std::nullopt); // writing not enabled
    twice(0x01, 0x81);                    // ENABLE WRITE MEMORY
    select(3);
    EXPECT_EQ(write(0x99), std::nullopt); // still locked
    select(2);
    EXPECT_EQ(write(0x55), 0x55);         // unlock
    EXPECT_EQ(write(0xAA), 0xAA);         // location 3
    EXPECT_EQ(write(0xBB), std::nullopt); // location 4 is read-only
    EXPECT_EQ(write(0xCC), 0xCC);         // location 5
    EXPECT_EQ(write(0xDD), std::nullopt); // past the last location

    // Any other command closes writing.
    EXPECT_EQ(query(0x01, 0x91), Yes);
    select(3);
    EXPECT_EQ(write(0x01), std::nullopt);

    select(2);
    for (int expected : {0x55, 0xAA, 0x20, 0xCC})
        EXPECT_EQ(query(0x01, 0xC5), expected);
    gear->powerUp();
    select(2);
    EXPECT_EQ(query(0x01, 0xC5), 0xFF); // locked again after a power cycle

    frame(0xC3, 0);
    frame(0xA3, 2);
    EXPECT_EQ(query(0x01, 0xC5), 1); // bank 0 names the last bank
}

// The random-address search as any controller runs it, against gear that
// behave and gear that do not.
struct Found
{
    int programmed = 0;
    bool collided = false;
};

Found commission(tarvesk::test::SimDaliBusFixture& f)
{
    Found found;
    f.twice(0xA5, 0x00); // INITIALISE all
    f.twice(0xA7, 0x00); // RANDOMISE
    for (int round = 0; round < 70; ++round) {
        auto anyoneAtOrBelow = [&](quint32 address) {
            f.setSearchAddress(address);
            const SimDaliAnswer a = f.frame(0xA9, 0x00);
            found.collided |= a.kind == SimDaliAnswer::Collision;
            return a.kind != SimDaliAnswer::None;
        };
        if (!anyoneAtOrBelow(0xFFFFFF))
            break;
        quint32 low = 0, high = 0xFFFFFF;
        while (low < high) {
            const quint32 mid = (low + high) / 2;
            if (anyoneAtOrBelow(mid))
                high = mid;
            else
                low = mid + 1;
        }
        f.setSearchAddress(low);
        f.frame(0xB7, quint8(found.programmed * 2 + 1)); // PROGRAM SHORT ADDRESS
        EXPECT_EQ(f.query(0xB9, quint8(found.programmed * 2 + 1)).value_or(0) != 0, true);
        f.frame(0xAB, 0x00); // WITHDRAW
        ++found.programmed;
    }
    f.frame(0xA1, 0x00); // TERMINATE
    return found;
}

TEST_F(SimDaliGearTest, CommissioningGivesEachGearItsOwnShortAddress)
{
    std::vector<std::shared_ptr<SimDaliGear>> gear;
    for (quint32 seed = 11; seed < 16; ++seed)
        gear.push_back(add(gearAt(-1, seed)));
    const Found found = commission(*this);
    EXPECT_EQ(found.programmed, 5);
    std::set<int> addresses;
    for (const auto& g : gear) {
        addresses.insert(g->shortAddress());
        EXPECT_NE(g->randomAddress(), SimDaliGear::NoRandomAddress);
        EXPECT_EQ(g->initialisation(), SimDaliGear::Initialisation::Disabled);
    }
    EXPECT_EQ(addresses, (std::set<int> {0, 1, 2, 3, 4}));
}

TEST_F(SimDaliGearTest, GearSharingARandomAddressCollideAndGetOneAddress)
{
    SimDaliGearConfig shared;
    shared.fixedRandomAddress = 0x123456;
    auto a = add(shared);
    auto b = add(shared);
    twice(0xA5, 0x00);
    twice(0xA7, 0x00);
    setSearchAddress(0x123456);
    EXPECT_EQ(frame(0xA9, 0x00).kind, SimDaliAnswer::Collision);
    setSearchAddress(0x123455);
    EXPECT_EQ(frame(0xA9, 0x00).kind, SimDaliAnswer::None);
    frame(0xA1, 0x00);

    const Found found = commission(*this);
    EXPECT_TRUE(found.collided);
    EXPECT_EQ(found.programmed, 1);
    EXPECT_EQ(a->shortAddress(), 0);
    EXPECT_EQ(b->shortAddress(), 0);
}

TEST_F(SimDaliGearTest, GearThatIgnoresWithdrawKeepsAnswering)
{
    SimDaliGearConfig stubborn;
    stubborn.fixedRandomAddress = 0x000100;
    stubborn.ignoreWithdraw = true;
    auto gear = add(stubborn);
    twice(0xA5, 0x00);
    twice(0xA7, 0x00);
    setSearchAddress(0x000100);
    frame(0xAB, 0x00);
    EXPECT_EQ(gear->initialisation(), SimDaliGear::Initialisation::Enabled);
    EXPECT_EQ(query(0xA9, 0x00), Yes);

    gear->setIgnoreWithdraw(false);
    frame(0xAB, 0x00);
    EXPECT_EQ(query(0xA9, 0x00), std::nullopt);
    EXPECT_EQ(query(0xBB, 0x00), 0xFF); // QUERY SHORT ADDRESS: none yet
}

TEST_F(SimDaliGearTest, InitialiseSelectsGear)
{
    auto addressed = add(gearAt(9));
    auto fresh = add(gearAt(-1, 2));
    twice(0xA5, 0xFF); // gear without a short address only
    EXPECT_EQ(fresh->initialisation(), SimDaliGear::Initialisation::Enabled);
    EXPECT_EQ(addressed->initialisation(), SimDaliGear::Initialisation::Disabled);
    frame(0xA1, 0x00);
    twice(0xA5, 0x13); // short address 9 only
    EXPECT_EQ(addressed->initialisation(), SimDaliGear::Initialisation::Enabled);
    EXPECT_EQ(fresh->initialisation(), SimDaliGear::Initialisation::Disabled);
    frame(0xA5, 0x00); // once is not enough
    EXPECT_EQ(fresh->initialisation(), SimDaliGear::Initialisation::Disabled);
}

} // namespace
