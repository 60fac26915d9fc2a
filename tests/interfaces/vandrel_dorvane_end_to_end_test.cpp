#include "sim_vandrel_monitored_fixture.h"

#include "dali/sim_dali_gear.h"
#include "dorvane/sim_dorvane_driver.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/usb_vandrel_dmx_interface.h"
#include "interfaces/usb_vandrel_dorvane_interface.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/options.h"

#include <memory>

using namespace tarvesk;
using core::Device;
using itf::DorvaneInterface;

namespace {

class QuickDorvaneInterface : public itf::UsbVandrelDorvaneInterface
{
public:
    using itf::UsbVandrelDorvaneInterface::UsbVandrelDorvaneInterface;
    std::vector<int> pauses;

protected:
    void pause(int ms) override { pauses.push_back(ms); }
};

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

// Dorvane requests through the box's controller, to the simulated drivers on
// its port, with the answers coming back through the data monitor.
class VandrelDorvaneEndToEnd : public test::SimVandrelMonitoredFixture
{
protected:
    void openDorvane(std::vector<Device::Capability> capabilities = {})
    {
        capabilities.push_back(Device::CAP_VD_TIMEOUT_EVENT);
        capabilities.push_back(Device::CAP_VD_CORRECT_CHECKSUM);
        sim::SimBoxConfig config;
        openMonitored(config, capabilities);
        device->addModeParameter();
        dmx = std::make_unique<itf::UsbVandrelDmxInterface>(device.get());
        dmx->init();
        dorvane = std::make_unique<QuickDorvaneInterface>(device.get(), dmx.get());
        dorvane->init();
    }
    void TearDown() override
    {
        dorvane.reset();
        dmx.reset();
        SimVandrelMonitoredFixture::TearDown();
    }

    std::shared_ptr<sim::SimDorvaneDriver> addDriver(bool legacy = false, bool corvalt = false)
    {
        sim::SimDorvaneDriver::Config config;
        config.legacy = legacy;
        config.corvalt = corvalt;
        config.identity.version = legacy ? 12 : 276;
        auto driver = std::make_shared<sim::SimDorvaneDriver>(config);
        sim::SimDaliGearConfig gear;
        gear.shortAddress = 0;
        driver->core().setDaliGear(std::make_shared<sim::SimDaliGear>(gear));
        box->addBusModel(driver);
        return driver;
    }

    // One request; its answer bytes, or the status as text when it failed.
    QByteArray request(const QByteArray& bytes, DorvaneInterface::DorvaneAction action, int retries = 5)
    {
        proto::DorvanePacket packet(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
        proto::Options options;
        options.addOption(QStringLiteral("retry_count"), retries);
        proto::DorvanePacket* answer = nullptr;
        const int status = dorvane->sendDorvane(&packet, &answer, &options, action);
        std::unique_ptr<proto::DorvanePacket> owned(answer);
        if (status != 0)
            return QByteArray::number(status);
        return owned ? owned->getRawDataString() : QByteArray("none");
    }

    std::unique_ptr<itf::UsbVandrelDmxInterface> dmx;
    std::unique_ptr<QuickDorvaneInterface> dorvane;
};

TEST_F(VandrelDorvaneEndToEnd, CurrentDriverReadsAndWrites)
{
    openDorvane();
    auto driver = addDriver();
    dorvane->setDorvaneState(DorvaneInterface::DORVANE_1_DEVICE);
    EXPECT_EQ(box->registerValue(48), 2);
    EXPECT_EQ(dorvane->getDorvaneState(), DorvaneInterface::DORVANE_1_DEVICE);
    ASSERT_TRUE(dorvane->isDorvaneDeviceConnected());
    driver->core().setParameter(0x3FE6, 0x0020);

    // Atomic read: the value low, high in answer bytes 2 and 3.
    EXPECT_EQ(request(bytesOf({0x59, 0x0B, 0xE6, 0x3F}), DorvaneInterface::DORVANE_ACTION_READ),
        bytesOf({0x59, 0x0B, 0x20, 0x00}));
    // Write: the value, then the address.
    EXPECT_EQ(request(bytesOf({0x58, 0x0B, 0x34, 0x12}), DorvaneInterface::DORVANE_ACTION_WRITE).size(), 4);
    EXPECT_EQ(request(bytesOf({0x5F, 0x0B, 0xE6, 0x3F}), DorvaneInterface::DORVANE_ACTION_WRITE).size(), 4);
    EXPECT_EQ(driver->core().parameter(0x3FE6), 0x1234);
    // Read without waiting, then the value request: high, low in bytes 2 and 3.
    request(bytesOf({0x59, 0x0B, 0xE6, 0x3F}), DorvaneInterface::DORVANE_ACTION_WRITE);
    EXPECT_EQ(request(bytesOf({0x02, 0x08, 0x00, 0x00}), DorvaneInterface::DORVANE_ACTION_READ).mid(2, 2),
        bytesOf({0x12, 0x34}));

    // The box parameter report reaches the same parameter space.
    unsigned int value = 0;
    EXPECT_EQ(dorvane->getParameter(core::ITF_RES_WORD, 0x3FE6, value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(dorvane->getParameter(core::ITF_RES_BYTE, 0x3FE6, value), 0);
    EXPECT_EQ(value, 0x34u);
    EXPECT_EQ(dorvane->setParameter(core::ITF_RES_WORD, 0x3FE6, 0xBEEF), 0);
    EXPECT_EQ(driver->core().parameter(0x3FE6), 0xBEEF);
    value = 7;
    EXPECT_EQ(dorvane->getParameter(core::ITF_RES_WORD, 0x7777, value), core::ITF_ERR_TIMEOUT);
    EXPECT_EQ(value, 7u); // a failed read leaves the value alone
}

// How often a request (five attempts allowed) goes to the driver, by what the
// box reports of each attempt. A frame the box carried to the driver is never
// sent again: the driver acted on it. One the box could not carry (the driver
// busy) is sent again after a pause, one the driver flagged at once.
TEST_F(VandrelDorvaneEndToEnd, AttemptsByWhatTheBoxReported)
{
    openDorvane();
    auto driver = addDriver();
    box->setRegister(48, 2);
    driver->core().setParameter(0x3FE6, 0x0020);
    using Faults = sim::SimDriverFaults;
    const QByteArray value = bytesOf({0x59, 0x0B, 0x20, 0x00});
    const std::vector<int> none;
    const std::vector<int> fivePauses(5, QuickDorvaneInterface::InvalidAnswerPauseMs);
    const struct
    {
        const char* name;
        int Faults::*fault; // set for the row, with the count below
        int count;
        QByteArray result; // the answer, or the status
        int taken;         // requests the driver took
        std::vector<int> pauses;
    } rows[] = {
        {"answered", nullptr, 0, value, 1, none},
        {"no reply", &Faults::silent, Faults::Forever, "-11", 1, none},
        {"answer checksum wrong", &Faults::badChecksum, Faults::Forever, "-20", 1, none},
        {"busy once", &Faults::busy, 1, value, 1, {QuickDorvaneInterface::InvalidAnswerPauseMs}},
        {"busy throughout", &Faults::busy, Faults::Forever, "-11", 0, fivePauses},
        {"flagged once", &Faults::errorFlag, 1, value, 2, none},
        // The driver answered each time, flagging an error (VDERR_DV2_ERROR):
        // that error, not "no reply".
        {"flagged throughout", &Faults::errorFlag, Faults::Forever, "-313", 5, none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        driver->faults() = Faults();
        if (row.fault)
            driver->faults().*row.fault = row.count;
        dorvane->pauses.clear();
        const int before = driver->requestCount();
        EXPECT_EQ(
            request(bytesOf({0x59, 0x0B, 0xE6, 0x3F}), DorvaneInterface::DORVANE_ACTION_READ, 5), row.result);
        EXPECT_EQ(driver->requestCount() - before, row.taken);
        EXPECT_EQ(dorvane->pauses, row.pauses);
    }
}

TEST_F(VandrelDorvaneEndToEnd, NotConnected)
{
    openDorvane();
    addDriver();
    box->setRegister(48, 3); // a host mode: the driver on the port is not talked to
    box->clearCallLog();
    EXPECT_EQ(request(bytesOf({0x59, 0x0B, 0, 0}), DorvaneInterface::DORVANE_ACTION_READ), "-3");
    EXPECT_EQ(dorvane->pauses, std::vector<int>(4, 60));
    EXPECT_EQ(dorvane->sendBootloaderModeAccessCommand(254, 0, 0xC3, true), core::ITF_ERR_NO_DEVICE);
    unsigned int value = 0;
    EXPECT_EQ(dorvane->getParameter(core::ITF_RES_WORD, 0, value), core::ITF_ERR_TIMEOUT);
}

TEST_F(VandrelDorvaneEndToEnd, LegacyDriver)
{
    openDorvane();
    auto driver = addDriver(true);
    box->setRegister(48, 2);
    EXPECT_EQ(
        request(bytesOf({0x12, 0x0A, 0, 0}), DorvaneInterface::DORVANE_ACTION_READ).mid(2, 1), bytesOf({12}));
    EXPECT_EQ(request(bytesOf({0x85, 0x0A, 0x34, 0x12}), DorvaneInterface::DORVANE_ACTION_WRITE).size(), 4);
    EXPECT_EQ(request(bytesOf({0x85, 0x0A, 0, 0}), DorvaneInterface::DORVANE_ACTION_READ).mid(2, 2),
        bytesOf({0x34, 0x12}));
    // The current generation's requests mean nothing to it.
    EXPECT_EQ(request(bytesOf({0x59, 0x0B, 0, 0}), DorvaneInterface::DORVANE_ACTION_READ, 1), "-11");
    EXPECT_EQ(driver->core().parameter(5), 0x1234);
}

// DALI through the Dorvane port: a Corvalt driver's module reports whether its
// DALI side answered.
TEST_F(VandrelDorvaneEndToEnd, DaliOverDorvane)
{
    openDorvane({Device::CAP_VD_CORVALT_DALI});
    addDriver(false, true);
    box->setRegister(48, 2);
    itf::DorvaneDaliInterface dali(device.get(), dorvane.get(), true);
    unsigned char answer = 0;
    EXPECT_EQ(dali.queryCommand(0x01, 0xA0, &answer, true), 0); // QUERY ACTUAL LEVEL of short address 0
    EXPECT_EQ(answer, 254);
    EXPECT_EQ(dali.queryCommand(0x03, 0xA0, &answer, true), core::ITF_ERR_NO_REPLY); // nobody at 1
    EXPECT_EQ(dali.sendCommand(0xFF, 0x05), 0);
}

} // namespace
