#include "sim_monitor_poller.h"
#include "sim_vandrel_dali_fixture.h"

#include "core/itf_error.h"
#include "interfaces/dali_memory_bank.h"
#include "interfaces/dali_memory_bank_utility.h"
#include "protocol/dali_packet.h"
#include "protocol/options.h"

using namespace tarvesk;
using core::Device;

namespace {

// DALI through the simulated box and its monitor stream, to simulated gear.
class VandrelDaliEndToEnd : public test::SimVandrelDaliFixture
{
protected:
    void openMonitored(std::vector<Device::Capability> capabilities = {})
    {
        capabilities.push_back(Device::CAP_VD_LARGE_PACKETS);
        sim::SimBoxConfig config;
        config.firmwareVersion = 21;
        open(config, capabilities);
        poller = std::make_unique<test::SimMonitorPoller>(transport, device->handle);
        device->monitor = [this](proto::PacketMutex* mutex) { poller->install(mutex); };
    }
    void TearDown() override
    {
        poller.reset(); // stops polling before the handle closes
        SimVandrelDaliFixture::TearDown();
    }

    std::unique_ptr<test::SimMonitorPoller> poller;
};

TEST_F(VandrelDaliEndToEnd, QueryAnsweredUnansweredAndCollided)
{
    openMonitored();
    addGear(3);
    addGear(5);
    addGear(5);
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), 0);
    EXPECT_EQ(answer, 0xFF);

    // Nobody at 4: the box records a time-out event, handed back as the answer's flag.
    proto::DaliPacket query;
    query.setCommand(0x09, 0x91);
    proto::Options options;
    options.addOption(QStringLiteral("expect_answer"), true);
    proto::DaliPacket* reply = nullptr;
    EXPECT_EQ(dali->sendDali(&query, &reply, &options), 0);
    ASSERT_NE(reply, nullptr);
    EXPECT_TRUE(reply->isTimeoutEvent());
    EXPECT_EQ(reply->getDataSize(), 0);
    delete reply;
    EXPECT_EQ(dali->queryCommand(0x09, 0x91, &answer), core::ITF_ERR_NO_REPLY);

    // Two gear at 5 answer at once.
    EXPECT_EQ(dali->queryCommand(0x0B, 0x91, &answer), core::ITF_ERR_PACKET_FRAME);
    EXPECT_EQ(dali->querySpecialCommand(0xA9, 0x00, &answer), core::ITF_ERR_NO_REPLY); // nobody initialising
}

TEST_F(VandrelDaliEndToEnd, ExtendedRequestsOnATimingInterface)
{
    openMonitored({Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    auto gear = addGear(2);
    EXPECT_TRUE(dali->hasCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME));
    EXPECT_EQ(dali->setParameterWithVerify(0x05, 0xE3, 1, 0xEE, 6), 0); // linear dimming curve
    EXPECT_EQ(gear->dimmingCurve(), 1);
    EXPECT_EQ(dali->sendCommand(0x05, 0x00), 0);
    EXPECT_EQ(gear->actualLevel(), 0);
}

TEST_F(VandrelDaliEndToEnd, MemoryBankReadAndWriteThroughTheMonitor)
{
    openMonitored();
    sim::SimDaliGearConfig config;
    config.shortAddress = 0;
    config.identity.gtin = 0x0A0B0C0D0E0Full;
    auto gear = std::make_shared<sim::SimDaliGear>(config);
    gear->memory().addBank(1, QByteArray(6, '\0'));
    daliBus->addGear(gear);

    itf::DaliMemoryBank bank(std::make_shared<itf::DaliMemoryBankUtility>(dali->getDaliBridge()));
    const itf::MemoryBlockResult gtin = bank.readMemoryBlock(0x01, 0, 3, 6, false);
    EXPECT_EQ(gtin.status, 0);
    EXPECT_EQ(gtin.bytes, (std::vector<std::uint8_t> {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}));

    EXPECT_EQ(bank.writeMemoryBlock(0x01, 1, 4, {0x11, 0x22}).status, 0);
    EXPECT_EQ(
        bank.readMemoryBlock(0x01, 1, 3, 3, false).bytes, (std::vector<std::uint8_t> {0x00, 0x11, 0x22}));
    // Bank 0 takes no writes: the unlock is not confirmed.
    EXPECT_EQ(bank.writeMemoryBlock(0x01, 0, 3, {0x01}).status, -42);

    // The interface's own helpers, whose unlock goes unanswered by design.
    EXPECT_EQ(dali->setMemBankParam(0x01, 1, 6, 2, 0x3344), 0);
    quint16 value = 0;
    EXPECT_EQ(dali->getMemBankParam(0x01, 1, 6, true, value), 0);
    EXPECT_EQ(value, 0x33);
    EXPECT_EQ(dali->setMemBankParam(0x01, 0, 3, 1, 0x01), core::ITF_ERR_NO_REPLY); // read-only bank
}

TEST_F(VandrelDaliEndToEnd, NoSupply)
{
    openMonitored();
    addGear(0);
    daliBus->setSupply(false);
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x01, 0x91, &answer), core::ITF_ERR_TRANSFER);
}

} // namespace
