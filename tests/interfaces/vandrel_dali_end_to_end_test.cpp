#include "sim_vandrel_dali_fixture.h"

#include "core/itf_error.h"
#include "core/parameter_action_repository.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/parameter.h"
#include "core/thread_manager.h"
#include "interfaces/dali_memory_bank.h"
#include "interfaces/dali_memory_bank_actions.h"
#include "interfaces/dali_memory_bank_utility.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "monitor_thread.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"
#include "protocol/packet_log.h"
#include "wait_until.h"

using namespace tarvesk;
using core::Device;

namespace {

// DALI through the simulated box, its monitor stream and the data monitor on its
// own "USB monitor" thread, to simulated gear.
class VandrelDaliEndToEnd : public test::SimVandrelDaliFixture
{
protected:
    void openMonitored(std::vector<Device::Capability> capabilities = {})
    {
        capabilities.push_back(Device::CAP_VD_LARGE_PACKETS);
        sim::SimBoxConfig config;
        config.firmwareVersion = 21;
        open(config, capabilities);
        handle = device->handle;
        monitor = new itf::UsbVandrelDataMonitor([this] { return handle.load(); }, transport);
        thread = test::startMonitorOnThread(monitor, packetLog);
        ASSERT_TRUE(test::waitUntil([this] { return box->pollCount() > 0; }));
        device->connectMonitor(monitor);
    }
    void TearDown() override
    {
        // The monitor stops before the device's handle closes.
        if (monitor) {
            EXPECT_TRUE(monitor->stopAndWait());
            device->disconnectMonitor(monitor);
            test::endMonitorOnThread(monitor, thread);
        }
        SimVandrelDaliFixture::TearDown();
    }

    std::atomic<libusb_device_handle*> handle {nullptr};
    itf::UsbVandrelDataMonitor* monitor = nullptr;
    std::shared_ptr<core::Thread> thread;
    proto::PacketLog packetLog;
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
    // Every frame and answer also reached the device's packet log, in bus order.
    ASSERT_TRUE(test::waitUntil([this] { return packetLog.size() == 7; })) << packetLog.size();
    std::vector<std::unique_ptr<proto::RawPacket>> logged;
    packetLog.getPackets(logged, 0, 1);
    QStringList records;
    for (const auto& packet : logged)
        records << packet->getHexString() + (packet->isFrameError() ? QStringLiteral("!") : QString());
    EXPECT_EQ(records, (QStringList {"0791", "FF", "0991", "0991", "0B91", "!", "A900"}));
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

TEST_F(VandrelDaliEndToEnd, LatchedEnergyReadThroughTheMonitor)
{
    openMonitored();
    auto gear = addGear(0);
    // Active energy 0x0000000000FFFE Wh, one more at every read of bank 202.
    const char energyBank[] = {1, 0, 0, 0, 0, 0, char(0xFF), char(0xFE), 0, 0, 0, 0, 0};
    gear->memory().addBank(202, QByteArray(energyBank, sizeof energyBank), std::vector<bool>(13, false));
    ASSERT_TRUE(gear->memory().setAdvancingCounter(202, 5, 6, 1));

    core::ParameterActionRepository actions;
    itf::addActionsForDaliInterfaceToRepository(actions, dali->getDaliBridge(), 0x01);
    auto definitions = std::make_shared<core::DaliMemoryBankParameterRepository>();
    core::loadDaliMemoryBanksForPart252(definitions);
    core::Parameter energy(definitions->getParameterData("dali_252_active_energy"));
    EXPECT_EQ(actions.getAction("memory_bank_read_integer")->execute(&energy, QVariant()), 0);
    // The value at the latch, although the counter carried past 0xFFFF while it was read.
    EXPECT_EQ(energy.getActualValue().toULongLong(), 0xFFFEu);
    EXPECT_EQ(gear->memory().read(202, 2), 0xFF);  // released
    EXPECT_EQ(gear->memory().read(202, 10), 0x05); // 0xFFFE, six reads and this one: 0x10005
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
