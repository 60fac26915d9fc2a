#include "../sim_test_support.h"

#include "dali/sim_dali_gear.h"
#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_driver.h"
#include "dorvane/sim_dorvane_slave_module.h"

#include <optional>

using namespace tarvesk;
using sim::SimBoxConfig;
using sim::SimDorvaneDriver;
using sim::SimDorvaneSlaveModule;
using tarvesk::test::SimHost;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray wy(std::initializer_list<int> bytes)
{
    QByteArray frame;
    quint8 sum = 0;
    for (int b : bytes) {
        frame.append(char(b));
        sum = quint8(sum + b);
    }
    return frame + char(sum);
}

constexpr quint8 Internal = 0x08;
constexpr quint8 ExpectAnswer = 0x04;

// The box's Dorvane side as the host reaches it: frames in data reports with
// their flags, the answers out of the monitor stream.
class DorvaneSide : public ::testing::Test
{
protected:
    void open(quint16 release = 0x2014, int subversion = 12)
    {
        SimBoxConfig config;
        config.release = release;
        config.subversion = quint8(subversion);
        host = std::make_unique<SimHost>(config);
    }

    // One frame and the payload of its answer record (nothing when none came).
    std::optional<QByteArray> send(const QByteArray& frame, quint8 flags = Internal | ExpectAnswer)
    {
        host->exchange(hex("1380000000") + char(flags) + char(0) + char(frame.size()) + frame);
        const QList<QByteArray> records = host->pollRecords();
        if (records.size() < 2 || records[1].size() == 7)
            return std::nullopt;
        return records[1].mid(7);
    }

    quint16 status() { return quint16(quint8(host->exchange(hex("0d0004")).at(4))); }

    void setMode(int number) { host->exchange(hex("0e0030") + char(0) + char(number)); }

    std::shared_ptr<SimDorvaneDriver> addDriver(SimDorvaneDriver::Config config = SimDorvaneDriver::Config())
    {
        auto driver = std::make_shared<SimDorvaneDriver>(config);
        host->box->addBusModel(driver);
        return driver;
    }

    std::unique_ptr<SimHost> host;
};

// Bit 0x02 of register 4 says no driver is connected; the mode decides, and
// lives in register 48 on release 0x2014, in the controller's word 16 before.
TEST_F(DorvaneSide, ModeAndConnection)
{
    open();
    EXPECT_EQ(status() & 0x02, 0x02);
    addDriver();
    EXPECT_EQ(status() & 0x02, 0x02); // off
    setMode(2);
    EXPECT_EQ(status() & 0x02, 0);
    setMode(3);
    EXPECT_EQ(status() & 0x02, 0x02); // a host mode talks to slave modules

    open(0x1810, 6);
    addDriver();
    host->box->setRegister(48, 2); // means nothing on this release
    EXPECT_EQ(status() & 0x02, 0x02);
    ASSERT_TRUE(send(wy({0xD0, 0x0E, 0, 0, 0x08, 0x08, 0x04, 0x00})));
    EXPECT_EQ(host->box->dorvaneController().ramWord(16), 0x0004);
    EXPECT_EQ(status() & 0x02, 0);
}

TEST_F(DorvaneSide, ControllerMemory)
{
    open();
    EXPECT_EQ(
        send(wy({0xD0, 0x0E, 0, 0, 0x08, 0x08, 0x41, 0x01})), wy({0xD0, 0x8E, 0, 0, 0x08, 0x08, 0x41, 0x01}));
    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 0x08, 0x08, 0, 0})), wy({0xD0, 0x8D, 0, 0, 0x08, 0x08, 0x41, 0x01}));
    // The EEPROM is a memory of its own.
    send(wy({0xD0, 0x0E, 0, 0, 0x88, 0x08, 0x22, 0x11}));
    EXPECT_EQ(host->box->dorvaneController().eepromWord(16), 0x1122);
    EXPECT_EQ(host->box->dorvaneController().ramWord(16), 0x0141);
    // Past the memory: a range error, flagged in an answer.
    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 0x7F, 0x08, 0, 0})).value_or(QByteArray()).left(2), hex("d0cd"));
    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 0x7F, 0x08, 0, 0})).value_or(QByteArray()).at(6), 0);

    // Older controllers send the high byte first.
    open(0x1810, 6);
    host->box->dorvaneController().setRamWord(128, 0x0C03);
    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 64, 0x08, 0, 0})), wy({0xD0, 0x8D, 0, 0, 64, 0x08, 0x0C, 0x03}));
}

TEST_F(DorvaneSide, RequestsToTheCurrentDriver)
{
    open();
    setMode(2);
    SimDorvaneDriver::Config config;
    config.identity.version = 276;
    auto driver = addDriver(config);
    driver->core().setParameter(0x3FE6, 0x0020);

    // Atomic read: the value in answer bytes 6 (low) and 7 (high).
    const auto atomic = send(wy({0xD0, 0x0D, 0, 0, 0x59, 0x0B, 0xE6, 0x3F}));
    EXPECT_EQ(atomic, wy({0xD0, 0x8D, 0, 0, 0x59, 0x0B, 0x20, 0x00}));
    // Not awaited: the controller keeps it for the value request 02 08, high first.
    send(wy({0xD0, 0x0E, 0, 0, 0x59, 0x0B, 0x00, 0x00}));
    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 0x02, 0x08, 0, 0})), wy({0xD0, 0x8D, 0, 0, 0x02, 0x08, 0x01, 0x14}));

    // A write is a value, then the address; the box parameter report reads it back.
    send(wy({0xD0, 0x0E, 0, 0, 0x58, 0x0B, 0x34, 0x12}));
    send(wy({0xD0, 0x0E, 0, 0, 0x5F, 0x0B, 0xE6, 0x3F}));
    EXPECT_EQ(driver->core().parameter(0x3FE6), 0x1234);
    EXPECT_EQ(host->exchange(hex("190d00000100013fe6")).mid(6, 3), hex("001234"));
    EXPECT_EQ(host->exchange(hex("190e00000100013fe6abcd")).mid(6, 3), hex("00abcd"));
    // ... and the driver's own Wystrel side (banana mode: bit 0 of the start code) sees it too.
    const auto banana = send(wy({0xD1, 0x0D, 0, 0, 0xE6, 0x3F, 0, 0}));
    ASSERT_TRUE(banana);
    EXPECT_EQ(banana->mid(6, 2), hex("cdab"));
}

// Failures of a request that could not be carried come as a frame that is no
// answer, with the code in byte 6; an error the driver flags as an answer.
TEST_F(DorvaneSide, ControllerErrors)
{
    open();
    const QByteArray read = wy({0xD0, 0x0D, 0, 0, 0x59, 0x0B, 0, 0});
    EXPECT_EQ(send(read), wy({0xD0, 0x4D, 0, 0, 0, 0, 8, 0})); // not connected
    setMode(2);
    SimDorvaneDriver::Config config;
    config.faults.silent = 1;
    config.faults.errorFlag = 1;
    auto driver = addDriver(config);
    EXPECT_EQ(send(read), wy({0xD0, 0x4D, 0, 0, 0, 0, 10, 0})); // no reply received
    EXPECT_EQ(send(read).value_or(QByteArray()).left(2), hex("d0cd"));
    EXPECT_EQ(send(read).value_or(QByteArray()).left(2), hex("d08d"));
    QByteArray bad = read;
    bad[8] = char(bad[8] + 1);
    EXPECT_EQ(send(bad), wy({0xD0, 0x4D, 0, 0, 0, 0, 2, 0}));                                // checksum
    EXPECT_EQ(send(wy({0xD0, 0x08, 0, 0, 0, 0, 0, 0})), wy({0xD0, 0x48, 0, 0, 0, 0, 3, 0})); // not a request

    // A silent driver is no answer to the parameter report either.
    driver->faults().silent = sim::SimDriverFaults::Forever;
    EXPECT_EQ(host->exchange(hex("190d0000010001000000")).at(6), 1);
}

TEST_F(DorvaneSide, LegacyDriverAndDali)
{
    open();
    setMode(2);
    SimDorvaneDriver::Config config;
    config.legacy = true;
    config.identity.version = 12;
    config.corvalt = true;
    auto driver = addDriver(config);
    sim::SimDaliGearConfig gear;
    gear.shortAddress = 0;
    driver->core().setDaliGear(std::make_shared<sim::SimDaliGear>(gear));

    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 0x12, 0x0A, 0, 0})).value_or(QByteArray()).mid(4, 3), hex("120a0c"));
    // The current generation's request means nothing to it.
    EXPECT_EQ(send(wy({0xD0, 0x0D, 0, 0, 0x59, 0x0B, 0, 0})).value_or(QByteArray()).at(6), 10);
    // A Corvalt DALI module: 0x81 and the backward frame, or 0x80 when its DALI side is silent.
    EXPECT_EQ(send(wy({0xD0, 0x1D, 0, 0, 0x40, 0x0B, 0xA0, 0x01})).value_or(QByteArray()).at(6), char(0x81));
    EXPECT_EQ(send(wy({0xD0, 0x1D, 0, 0, 0x40, 0x0B, 0xA0, 0x03})).value_or(QByteArray()).at(6), char(0x80));
}

// A driver without a Corvalt DALI module answers the backward frame in byte 2.
// A frame that gets none is a command when it was sent as a write: the driver
// acknowledges it (commands through Dorvane could not succeed otherwise); read,
// it goes unanswered (code 10).
TEST_F(DorvaneSide, DaliThroughADriverWithoutModule)
{
    open();
    setMode(2);
    SimDorvaneDriver::Config config;
    config.daliChannels = {0};
    auto driver = addDriver(config);

    const struct
    {
        const char* name;
        quint8 command; // 0x0D read, 0x0E write
        quint8 opcode;
        quint8 address;
        QByteArray answer; // the four Dorvane bytes; empty: unanswered
    } cases[] = {
        {"query with an answer", 0x0D, 0xA0, 0x81, hex("400bfe00")},  // ACTUAL LEVEL of group 0
        {"query of a silent group", 0x0D, 0xA0, 0x83, QByteArray()},  // group 1 has no gear
        {"command, acknowledged", 0x0E, 0x05, 0x81, hex("400b0581")}, // RECALL MAX LEVEL
        {"command to nobody, acknowledged", 0x0E, 0x05, 0x83, hex("400b0583")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QByteArray> answer
            = send(wy({0xD0, c.command, 0, 0, 0x40, 0x0B, c.opcode, c.address}));
        ASSERT_TRUE(answer.has_value());
        if (c.answer.isEmpty()) {
            EXPECT_EQ(quint8(answer->at(1)) & 0x40, 0x40);
            EXPECT_EQ(answer->at(6), 10);
        } else {
            EXPECT_EQ(quint8(answer->at(1)) & 0x40, 0);
            EXPECT_EQ(answer->mid(4, 4), c.answer);
        }
    }
}

// In a host mode the slave modules answer SPI frames; a frame nobody takes
// comes back with bit 0x02 of byte 7.
TEST_F(DorvaneSide, SlaveModules)
{
    open();
    setMode(3);
    auto two = std::make_shared<SimDorvaneSlaveModule>(SimDorvaneSlaveModule::Generation::Dv2, 2);
    two->setRamWord(0x1C, 0x0114);
    host->box->addBusModel(two);
    host->box->addBusModel(
        std::make_shared<SimDorvaneSlaveModule>(SimDorvaneSlaveModule::Generation::Dv2, 5));
    // DV2 read of module 2, register 0x1C, two bytes: address 2 = 0x40 | 0, (2 << 5) | (1 << 3) | 1.
    const auto answer = send(wy({0xD0, 0x0B, 0, 0x40, 0x49, 0x1C, 0, 0}));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->mid(3, 2), hex("0114"));
    EXPECT_EQ(quint8(answer->at(7)) & 0x02, 0);
    const auto nobody = send(wy({0xD0, 0x0B, 0, 0x40, 0x69, 0x1C, 0, 0})); // module 3
    EXPECT_EQ(quint8(nobody.value_or(QByteArray(8, '\0')).at(7)) & 0x02, 0x02);
    // DV2 EEPROM through the RAM mailbox: 82 the address, 84 the data, 80 = 3 writes.
    for (auto frame : {wy({0xD0, 0x0B, 0, 0x40, 0x50, 82, 0x07, 0}),
             wy({0xD0, 0x0B, 0, 0x40, 0x50, 84, 0x99, 0}), wy({0xD0, 0x0B, 0, 0x40, 0x50, 80, 3, 0})})
        send(frame);
    EXPECT_EQ(two->eeprom(7), 0x99);

    // In a device mode nobody behind the port answers SPI.
    setMode(2);
    const auto device = send(wy({0xD0, 0x0B, 0, 0x40, 0x49, 0x1C, 0, 0}));
    EXPECT_EQ(quint8(device.value_or(QByteArray(8, '\0')).at(7)) & 0x02, 0x02);

    // A DV1 module: RAM reads of 16 bits in answer bytes 4 and 6.
    setMode(1);
    auto one = std::make_shared<SimDorvaneSlaveModule>(SimDorvaneSlaveModule::Generation::Dv1, 0);
    one->setRamWord(0x1C, 0x0203);
    host->box->addBusModel(one);
    const auto dv1 = send(wy({0xD0, 0x0B, 0, 0x66, 0x15, 0x1C, 0, 0}));
    ASSERT_TRUE(dv1);
    EXPECT_EQ(dv1->at(4), 2);
    EXPECT_EQ(dv1->at(6), 3);
}

// Frames without the internal flag stay on the DMX line.
TEST_F(DorvaneSide, OtherFramesGoOnTheDmxLine)
{
    open();
    setMode(2);
    auto dorvane = addDriver();
    auto wystrel = std::make_shared<sim::SimWystrelDriver>();
    host->box->addBusModel(wystrel);
    const QByteArray read = wy({0xD0, 0x0D, 0, 0, 0x00, 0x00, 0, 0});
    ASSERT_TRUE(send(read, ExpectAnswer));
    EXPECT_EQ(wystrel->framesAnswered(), 1);
    EXPECT_EQ(dorvane->requestCount(), 0);
    send(read);
    EXPECT_EQ(wystrel->framesAnswered(), 1);
}

} // namespace
