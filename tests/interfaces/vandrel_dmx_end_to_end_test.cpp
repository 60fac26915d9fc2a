#include "sim_vandrel_monitored_fixture.h"

#include "dmx/sim_rdm_responder.h"
#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_slave_module.h"
#include "interfaces/dmx/dmx_spi_internal_interface.h"
#include "interfaces/usb_vandrel_dmx_interface.h"
#include "interfaces/usb_vandrel_legacy_dmx_interface.h"
#include "log_capture.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <QElapsedTimer>

#include <memory>

using namespace tarvesk;
using core::Device;

namespace {

sim::SimBoxConfig firmware(int version)
{
    sim::SimBoxConfig config;
    config.firmwareVersion = quint8(version);
    return config;
}

std::unique_ptr<proto::Options> optionsOf(const QVariantMap& map)
{
    auto options = std::make_unique<proto::Options>();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        options->addOption(it.key(), it.value());
    return options;
}

// A model that answers every frame on the line with its length (two bytes).
class LengthEcho : public sim::SimBusModel
{
public:
    Bus bus() const override { return Dmx; }
    QString modelName() const override { return QStringLiteral("length echo"); }
    std::optional<QByteArray> dmxFrame(const QByteArray& frame) override
    {
        frames.append(frame);
        return QByteArray(1, char(frame.size() >> 8)) + char(frame.size() & 0xFF);
    }
    QList<QByteArray> frames;
};

// Frames on the box's DMX line and their answers through the data monitor.
class VandrelDmxEndToEnd : public test::SimVandrelMonitoredFixture
{
protected:
    void openDmx(
        int version = 21, std::vector<Device::Capability> capabilities = {Device::CAP_VD_TIMEOUT_EVENT})
    {
        openMonitored(firmware(version), capabilities);
        dmx = std::make_unique<itf::UsbVandrelDmxInterface>(device.get());
        dmx->init();
    }
    void TearDown() override
    {
        spi.reset();
        dmx.reset();
        SimVandrelMonitoredFixture::TearDown();
    }

    // A Wystrel frame out, its answer (null when none came) back.
    std::unique_ptr<proto::WystrelPacket> exchange(
        proto::WystrelPacket& frame, const QVariantMap& map, int* status = nullptr)
    {
        const auto options = optionsOf(map);
        proto::DmxPacket* answer = nullptr;
        const int result = dmx->sendDmx(&frame, &answer, options.get());
        if (status)
            *status = result;
        std::unique_ptr<proto::DmxPacket> owned(answer);
        return owned ? std::make_unique<proto::WystrelPacket>(owned.get()) : nullptr;
    }

    std::unique_ptr<itf::UsbVandrelDmxInterface> dmx;
    std::unique_ptr<itf::DmxSpiInternalInterface> spi;
};

const QVariantMap kWystrel {{"expect_answer", true}, {"retry_invalid", true}, {"retry_count", 5}};

TEST_F(VandrelDmxEndToEnd, WystrelReadAndWrite)
{
    openDmx();
    auto driver = std::make_shared<sim::SimWystrelDriver>();
    box->addBusModel(driver);
    proto::WystrelPacket write(proto::WystrelPacket::WY_CMD_WRITE);
    write.param_setNumber(0x4010);
    write.param_setValue(0x1234);
    write.checksum_recalculate();
    auto answer = exchange(write, kWystrel);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->answer_isValid(proto::CHECK_IGNORE_NONE), 0);
    proto::WystrelPacket read(proto::WystrelPacket::WY_CMD_READ);
    read.param_setNumber(0x4010);
    read.checksum_recalculate();
    answer = exchange(read, kWystrel);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->param_getValue(false, false, true), 0x1234);
    EXPECT_EQ(answer->getPacketType(), proto::PACKET_TYPE_DMX);

    // Four garbled answers, then a good one: the frame goes out five times.
    driver->faults().badChecksum = 4;
    box->clearCallLog();
    test::LogCapture log;
    answer = exchange(read, kWystrel);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->answer_isValid(proto::CHECK_IGNORE_NONE), 0);
    EXPECT_EQ(driver->framesAnswered(), 2 + 5);
    EXPECT_EQ(log.count("Invalid wystrel answer"), 4);
    EXPECT_EQ(read.getRetryAttempt(), 4);

    // A driver that stays silent: the box reports time-outs, each attempt fails.
    driver->faults().silent = sim::SimDriverFaults::Forever;
    int status = 1;
    answer = exchange(read, {{"expect_answer", true}, {"retry_count", 3}}, &status);
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->isTimeoutEvent());
    EXPECT_EQ(answer->getDataSize(), 0);
}

// Without the box's time-out events an unanswered frame is sent once per attempt
// and the call ends without an answer after the default wait of each.
TEST_F(VandrelDmxEndToEnd, UnansweredOnOlderFirmware)
{
    openDmx(15, {});
    proto::WystrelPacket read(proto::WystrelPacket::WY_CMD_READ);
    int status = 1;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(
        exchange(read, {{"expect_answer", true}, {"retry_count", 3}, {"answer_timeout", 4000}}, &status));
    EXPECT_EQ(status, 0);
    EXPECT_GE(timer.elapsed(), 3 * 36); // a short box time-out never shortens the host's wait
    EXPECT_EQ(box->busStats().dmxFrames, 3);
}

// A whole DMX512 frame goes out in a chain of reports and reaches the line whole.
TEST_F(VandrelDmxEndToEnd, LongFramesAndOptions)
{
    openDmx();
    auto echo = std::make_shared<LengthEcho>();
    box->addBusModel(echo);
    QByteArray bytes(513, '\0');
    for (int i = 1; i < bytes.size(); ++i)
        bytes[i] = char(i);
    proto::DmxPacket frame(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
    auto options = optionsOf({{"expect_answer", true}});
    proto::DmxPacket* answer = nullptr;
    EXPECT_EQ(dmx->sendDmx(&frame, &answer, options.get()), 0);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->getRawDataString(), QByteArray::fromHex("0201"));
    delete answer;
    ASSERT_EQ(echo->frames.size(), 1);
    EXPECT_EQ(echo->frames[0], bytes);

    // Without an awaited answer the frame goes out "retry_count" times and nothing is waited for.
    options = optionsOf({{"retry_count", 2}});
    EXPECT_EQ(dmx->sendDmx(&frame, &answer, options.get()), 0);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(echo->frames.size(), 3);

    // Set-points are frames too; options that cannot be sent are refused unsent.
    EXPECT_EQ(dmx->sendSetpoint({1, 2, 3}, core::ITF_RES_BYTE, 0), 0);
    EXPECT_EQ(echo->frames.last(), QByteArray::fromHex("00010203"));
    for (const QVariantMap& bad :
        {QVariantMap {{"answer_timeout", 70000}}, QVariantMap {{"break_time", -1}}}) {
        options = optionsOf(bad);
        EXPECT_EQ(dmx->sendDmx(&frame, &answer, options.get()), core::ITF_ERR_INVALID_PARAM);
    }
    EXPECT_EQ(echo->frames.size(), 4);

    // Banana mode sets bit 0 of the caller's start code.
    proto::WystrelPacket banana(proto::WystrelPacket::WY_CMD_GUID);
    options = optionsOf({{"banana_mode", true}});
    dmx->sendDmx(&banana, &answer, options.get());
    EXPECT_EQ(banana.getUint8(0), 0xD1);

    device->setConnectionStatus(Device::DISCONNECTED);
    EXPECT_EQ(dmx->sendDmx(&frame, &answer, options.get()), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(echo->frames.size(), 4);
}

TEST_F(VandrelDmxEndToEnd, RdmGetAndDiscovery)
{
    openDmx();
    sim::SimRdmResponder::Config config;
    config.sensors = {{0, 1, 1, 235, QStringLiteral("Board")}};
    auto responder = std::make_shared<sim::SimRdmResponder>(config);
    box->addBusModel(responder);
    const QVariantMap rdm {{"expect_answer", true}, {"break_time", 176}, {"answer_timeout", 4000}};

    proto::RdmPacket branch;
    branch.fromPid(0x0001);
    auto options = optionsOf(rdm);
    proto::DmxPacket* answer = nullptr;
    ASSERT_EQ(dmx->sendDmx(&branch, &answer, options.get()), 0);
    ASSERT_NE(answer, nullptr);
    QString uid;
    EXPECT_EQ(proto::RdmPacket(answer).decodeUid(uid), 0);
    EXPECT_EQ(uid, QStringLiteral("7e2b:00000042"));
    delete answer;
    answer = nullptr;

    proto::RdmPacket info;
    info.fromPid(0x0060);
    info.setTargetUid(uid);
    ASSERT_EQ(dmx->sendDmx(&info, &answer, options.get()), 0);
    ASSERT_NE(answer, nullptr);
    const auto decoded = proto::RdmPacket(answer).getDeviceInfo();
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->sensorCount, 1);
    delete answer;
    answer = nullptr;

    // A second responder: the discovery answers collide, and nothing decodes.
    sim::SimRdmResponder::Config other;
    other.uid = 0x7E2B00000099;
    box->addBusModel(std::make_shared<sim::SimRdmResponder>(other));
    ASSERT_EQ(dmx->sendDmx(&branch, &answer, options.get()), 0);
    ASSERT_NE(answer, nullptr);
    EXPECT_TRUE(answer->isFrameError());
    EXPECT_NE(proto::RdmPacket(answer).decodeUid(uid), 0);
    delete answer;
}

// SPI to a slave module behind the box's Dorvane controller, in a host mode.
TEST_F(VandrelDmxEndToEnd, SpiEepromReadAndWrite)
{
    openDmx(21, {Device::CAP_VD_TIMEOUT_EVENT, Device::CAP_VD_CORRECT_CHECKSUM});
    spi = std::make_unique<itf::DmxSpiInternalInterface>(device.get(), dmx.get());
    auto module
        = std::make_shared<sim::SimDorvaneSlaveModule>(sim::SimDorvaneSlaveModule::Generation::Dv1, 0);
    module->setEeprom(0x10, 0xAB);
    module->setEeprom(0x11, 0xCD);
    module->setRamWord(0x1C, 0x0114);
    box->addBusModel(module);
    box->setRegister(48, 1); // dv1_host

    unsigned int value = 0;
    EXPECT_EQ(spi->getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0x10, value), 0);
    EXPECT_EQ(value, 0xABCDu);
    EXPECT_EQ(spi->setEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0x20, 0x1234), 0);
    EXPECT_EQ(module->eeprom(0x20), 0x12);
    EXPECT_EQ(module->eeprom(0x21), 0x34);
    EXPECT_EQ(spi->getRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0, 0x1C, value), 0);
    EXPECT_EQ(value, 0x0114u);

    // The module gone quiet, or the box in a device mode: no answer, and no success.
    module->setSilent(true);
    value = 7;
    EXPECT_EQ(
        spi->getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0x10, value), core::ITF_ERR_NO_REPLY);
    module->setSilent(false);
    box->setRegister(48, 2);
    EXPECT_EQ(spi->getRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0, 0x1C, value),
        core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(value, 7u);
}

// Firmware before 13: one report per frame, the answer in the reply.
TEST_F(VandrelDmxEndToEnd, LegacyInterface)
{
    open(firmware(12), {});
    auto driver = std::make_shared<sim::SimWystrelDriver>();
    box->addBusModel(driver);
    itf::UsbVandrelLegacyDmxInterface legacy(device.get());
    legacy.init();
    proto::WystrelPacket read(proto::WystrelPacket::WY_CMD_READ);
    auto options = optionsOf({{"expect_answer", true}});
    proto::DmxPacket* answer = nullptr;
    ASSERT_EQ(legacy.sendDmx(&read, &answer, options.get()), 0);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(proto::WystrelPacket(answer).param_getValue(false, false, true), 276);
    delete answer;
    answer = nullptr;

    driver->faults().silent = sim::SimDriverFaults::Forever;
    box->clearCallLog();
    EXPECT_EQ(legacy.sendDmx(&read, &answer, options.get()), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 3);
    EXPECT_EQ(answer, nullptr);

    // A frame longer than the report carries is refused, not cut.
    proto::DmxPacket longFrame(
        reinterpret_cast<const unsigned char*>(QByteArray(100, '\1').constData()), 100);
    box->clearCallLog();
    EXPECT_EQ(legacy.sendDmx(&longFrame, &answer, options.get()), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 0);
    bool entered = false;
    int elapsed = 0;
    EXPECT_EQ(legacy.sendDmxSpam(&read, 3, entered, elapsed), core::ITF_ERR_UNSUPPORTED_FEATURE);
}

} // namespace
