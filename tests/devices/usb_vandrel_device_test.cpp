#include "core/device.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/thread_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "devices/usb_vandrel_18_10_device.h"
#include "devices/usb_vandrel_20_14_device.h"
#include "devices/usb_vandrel_device_factory.h"
#include "dorvane/sim_dorvane_driver.h"
#include "fake_product_database.h"
#include "interfaces/dmx/wystrel_dali_interface.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/usb_vandrel_dali_interface.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "interfaces/usb_vandrel_legacy_dmx_interface.h"
#include "log_capture.h"
#include "protocol/raw_packet.h"
#include "sim_usb_universe.h"
#include "wait_until.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk;
using devices::UsbVandrel18_10Device;
using devices::UsbVandrel20_14Device;
using devices::UsbVandrelDevice;
using tarvesk::test::LogCapture;
using tarvesk::test::SimUsbUniverse;

namespace {

sim::SimBoxConfig boxConfig(quint16 release, quint8 firmware, quint8 subversion, quint8 capabilities = 0)
{
    sim::SimBoxConfig config;
    config.release = release;
    config.firmwareVersion = firmware;
    config.subversion = subversion;
    config.capabilities = capabilities;
    return config;
}

const QStringList kBuses = {QStringLiteral("DMX"), QStringLiteral("DALI"), QStringLiteral("Dorvane")};

QStringList capabilityNames(const core::Device& device)
{
    QStringList names;
    for (auto it = device.capabilitiesBegin(); it != device.capabilitiesEnd(); ++it)
        names << core::Device::capabilityToString(*it);
    return names;
}

QStringList childUniverseNames(const core::Device& device)
{
    QStringList names;
    for (core::Universe* universe : device.getChildUniverses())
        names << universe->getName();
    return names;
}

// A Vandrel box on the simulated USB universe, made into its device.
class VandrelDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database.loadOems(R"({"oem": [{"oem_id": 0, "name": "Tarvesk"}]})");
        database.loadProducts(R"({"products": [
            {"oem_id": 0, "product_id": 43, "min_version": 0, "device_class": 0,
             "name": "Vandrel USB Interface", "interface_type": ["USB"]},
            {"oem_id": 0, "product_id": 43, "min_version": 13, "device_class": 0,
             "name": "Vandrel USB Interface", "interface_type": ["USB"], "has_dmx": true}]})");
    }

    UsbVandrelDevice* open(
        const sim::SimBoxConfig& config, const std::function<void(sim::SimVandrelBox&)>& prepare = nullptr)
    {
        box = usb.libUsb->addBox(config);
        if (prepare)
            prepare(*box);
        int status = -1;
        device = usb.createDevice(int(usb.libUsb->boxes().size()) - 1, &database, &status);
        EXPECT_EQ(status, 0);
        return dynamic_cast<UsbVandrelDevice*>(device.get());
    }

    int read(const QString& identifier, QVariant& value)
    {
        core::IParameter* param = device->getParameterInterface(identifier);
        return param ? param->getValue(value, core::IParameter::UPDATE_YES) : -999;
    }

    QVariant read(const QString& identifier)
    {
        QVariant value;
        EXPECT_EQ(read(identifier, value), 0) << identifier.toStdString();
        return value;
    }

    int write(const QString& identifier, const QVariant& value)
    {
        core::IParameter* param = device->getParameterInterface(identifier);
        return param ? param->setValue(value, core::IParameter::UPDATE_YES) : -999;
    }

    test::FakeProductDatabase database;
    SimUsbUniverse usb;
    std::shared_ptr<sim::SimVandrelBox> box;
    std::unique_ptr<core::Device> device;
};

TEST(UsbVandrelDeviceFactory, Release0x2014IsTheNewerHardwareAnyOtherTheOlder)
{
    core::Universe universe(
        QStringLiteral("USB"), new itf::LibUsbInterface(std::make_shared<sim::SimLibUsb>()), nullptr);
    devices::UsbVandrelDeviceFactory factory;
    EXPECT_FALSE(factory.skipLibusbBinding());
    for (unsigned short release : {0x2014, 0x2013, 0x1810, 0x0000}) {
        std::unique_ptr<core::Device> made(factory.create(&universe, release));
        EXPECT_EQ(dynamic_cast<UsbVandrel20_14Device*>(made.get()) != nullptr, release == 0x2014) << release;
        EXPECT_EQ(dynamic_cast<UsbVandrel18_10Device*>(made.get()) != nullptr, release != 0x2014) << release;
        EXPECT_EQ(made->getInterfaceType(), core::ITF_TYPE_USB);
    }
}

TEST_F(VandrelDeviceTest, CapabilitiesFollowFirmwareSubversionAndCapabilityByte)
{
    const struct
    {
        quint8 firmware;
        quint8 subversion;
        quint8 capabilities;
        QStringList expected;
    } cases[] = {
        {12, 6, 0x00, {"connection"}},
        {12, 6, 0x02, {"connection"}},
        {13, 6, 0x02, {"connection", "dmx512"}},
        {13, 7, 0x20,
            {"connection", "dmx512", "dorvane_atomic_read", "dorvane_wystrel_passthrough", "factory"}},
        {15, 11, 0x00, {"connection", "dmx512", "dorvane_atomic_read", "dorvane2", "dali_answer"}},
        {21, 12, 0x54,
            {"connection", "dmx512", "configurable_dali_settling_time", "timeout_event",
                "dorvane_atomic_read", "wystrel_correct_checksum", "bootloader_spam",
                "bootloader_spam_reliability_update", "internal_dorvane_param_get_set", "dorvane2",
                "fix_dorvane_hangup", "vandrel_corvalt_dali", "dorvane_master", "dali_answer",
                "bootloader_embedded_functions"}},
    };
    for (const auto& c : cases) {
        UsbVandrelDevice* vandrel = open(boxConfig(0x2014, c.firmware, c.subversion, c.capabilities));
        ASSERT_TRUE(vandrel);
        EXPECT_EQ(capabilityNames(*vandrel), c.expected) << int(c.firmware);
        EXPECT_EQ(vandrel->getRevisionString(), QStringLiteral("%1.%2").arg(c.firmware).arg(c.subversion));
        EXPECT_EQ(vandrel->getCapabilityByte(), c.capabilities);
        EXPECT_EQ(childUniverseNames(*vandrel), kBuses);
        EXPECT_EQ(vandrel->getDataMonitor() != nullptr, c.firmware >= 13) << int(c.firmware);
        EXPECT_EQ(qobject_cast<itf::UsbVandrelLegacyDmxInterface*>(vandrel->getDmxInterface()) != nullptr,
            c.firmware < 13);
        // The DMX line and the Dorvane port also carry DALI; the DMX-SPI interface needs the large reports.
        core::Universe* dmx = vandrel->getChildUniverses().value(0);
        core::Universe* dorvane = vandrel->getChildUniverses().value(2);
        EXPECT_TRUE(qobject_cast<itf::WystrelDaliInterface*>(dmx->getInterface(core::ITF_TYPE_DALI)));
        EXPECT_TRUE(qobject_cast<itf::DorvaneDaliInterface*>(dorvane->getInterface(core::ITF_TYPE_DALI)));
        const bool dmxSpi = c.firmware >= 13 && (c.capabilities & 0x02);
        LogCapture quiet;
        EXPECT_EQ(dorvane->getInterface(core::ITF_TYPE_SPI) != nullptr, dmxSpi) << int(c.firmware);
        for (const char* raw : {"presmonde", "dorvane_ee", "dorvane_ram"})
            EXPECT_NE(vandrel->getRawParameterInterface(QString::fromLatin1(raw)), nullptr) << raw;
        EXPECT_EQ(vandrel->getRawParameterInterface(QStringLiteral("main")),
            vandrel->getRawParameterInterface(QStringLiteral("presmonde")));
        // Firmware 13 and later have a product record of their own.
        ASSERT_NE(vandrel->getDeviceInfoRecord(), nullptr);
        EXPECT_EQ(vandrel->getDeviceInfoRecord()->getAttribute(QStringLiteral("has_dmx")).isValid(),
            c.firmware >= 13);
        device.reset();
    }
}

TEST_F(VandrelDeviceTest, ParametersComeBySubversion)
{
    const struct
    {
        quint8 subversion;
        bool legacyError;
        bool address;
        bool extraPower;
        int modes;
    } cases[] = {
        {6, false, false, false, 3},
        {7, true, false, false, 3},
        {11, true, true, false, 5},
        {12, true, true, true, 5},
    };
    for (const auto& c : cases) {
        open(boxConfig(0x1810, 15, c.subversion));
        auto has = [&](const char* id) {
            return device->getParameterInterface(QString::fromLatin1(id)) != nullptr;
        };
        EXPECT_TRUE(has("dorvane_mode")) << int(c.subversion);
        EXPECT_EQ(has("dorvane_legacy_error"), c.legacyError) << int(c.subversion);
        EXPECT_EQ(has("dorvane_address"), c.address) << int(c.subversion);
        EXPECT_EQ(has("dorvane_extra_power"), c.extraPower) << int(c.subversion);
        auto* mode
            = qobject_cast<core::Parameter*>(device->getParameterInterface(QStringLiteral("dorvane_mode")));
        EXPECT_EQ(mode->getEnumOptions().size(), c.modes) << int(c.subversion);
        EXPECT_EQ(
            read(QStringLiteral("vandrel_fw_version")).toString(), QStringLiteral("15.%1").arg(c.subversion));
        device.reset();
    }
}

TEST_F(VandrelDeviceTest, SerialNumberIsBothWordsFromFirmware13)
{
    for (quint8 firmware : {12, 13}) {
        sim::SimBoxConfig config = boxConfig(0x2014, firmware, 6);
        config.serial = 0x00010002;
        open(config);
        EXPECT_EQ(device->getUniqueIDString(),
            firmware >= 13 ? QStringLiteral("00010002") : QStringLiteral("00000002"));
        device.reset();
    }
}

TEST_F(VandrelDeviceTest, AnUnreadableVersionLeavesABoxWithoutParametersThatStillAnswers)
{
    LogCapture log;
    UsbVandrelDevice* vandrel
        = open(boxConfig(0x1810, 21, 12), [](sim::SimVandrelBox& b) { b.setRegister(0, 300); });
    ASSERT_TRUE(vandrel);
    EXPECT_EQ(log.count(QStringLiteral("Failed to read the version of the Vandrel")), 1);
    EXPECT_EQ(vandrel->getVersion(), 0u);
    EXPECT_EQ(capabilityNames(*vandrel), QStringList {QStringLiteral("connection")});
    EXPECT_EQ(vandrel->getParameterInterface(QStringLiteral("version")), nullptr);
    EXPECT_NE(vandrel->getParameterInterface(QStringLiteral("connection_status")), nullptr);
    EXPECT_EQ(vandrel->getDataMonitor(), nullptr);
    EXPECT_EQ(childUniverseNames(*vandrel), kBuses);
    // What looks up the box's parameters copes with their absence.
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DALI_CONNECTED));
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DORVANE_CONNECTED));
    EXPECT_EQ(
        vandrel->setStatus(core::Device::STATUS_DALI_CONNECTED, 1), core::ITF_ERR_UNSUPPORTED_PARAMETER);
}

TEST_F(VandrelDeviceTest, RegisterParametersReadAndWriteTheirRegisters)
{
    open(boxConfig(0x2014, 21, 12));
    const struct
    {
        const char* id;
        int reg;
        quint16 stored;
        QVariant expected;
    } reads[] = {
        {"dali_voltage_measurement", 41, 354, 354 / 35.363},
        {"dali_voltage_setting", 39, 800, 4.0},
        {"dali_voltage_setting", 39, 526, 10.0},
        {"dali_voltage_high", 41, 331, 331},
        {"identify", 8, 0x03, 1},
        {"identify", 8, 0xFD, 0},
        {"reset", 8, 0x80, 1},
        {"dali_bus_status", 4, 0x01, 1},
        {"corvalt_dali", 3, 0x10, 1},
        {"dorvane_caps", 3, 0x54, 0x54},
        {"subversion", 14, 12, 12},
        {"rcon", 16, 9, 9},
        {"serial_number_high", 6, 0x1234, 0x1234},
        {"dmx_channel_count", 37, 512, 512},
        {"dmx_rdm_cmd_timeout", 36, 40, 40},
        {"dorvane_status", 4, 0x02, 1},
        {"dorvane_address", 49, 7, 7},
        {"dorvane_mode", 48, 5, "dv2_log"},
        {"dorvane_mode", 48, 3, "dv2_host"},
        {"dorvane_mode", 48, 9, "unkown"},
    };
    for (const auto& r : reads) {
        box->setRegister(r.reg, r.stored);
        const QVariant value = read(QString::fromLatin1(r.id));
        if (r.expected.type() == QVariant::Double)
            EXPECT_NEAR(value.toDouble(), r.expected.toDouble(), 1e-9) << r.id << " " << r.stored;
        else
            EXPECT_EQ(value.toString(), r.expected.toString()) << r.id << " " << r.stored;
    }

    const struct
    {
        const char* id;
        QVariant value;
        int reg;
        quint16 before;
        quint16 after;
    } writes[] = {
        {"dali_voltage_setting", 2, 39, 0, 760},
        {"dali_voltage_setting", 30, 39, 0, 19},
        {"dali_voltage_setting", 10, 39, 0, 526},
        {"identify", 0, 8, 0xFF, 0xFD},
        {"identify", true, 8, 0x00, 0x02},
        {"param_lock", 1, 8, 0x01, 0x09},
        {"serial_number_low", 0x4321, 7, 0, 0x4321},
        {"dmx_breaklength", 100, 32, 0, 100},
        {"dorvane_mode", "dv2_log", 48, 0, 5},
        {"dorvane_address", 12, 49, 0, 12},
        {"dorvane_reset", 1, 65, 0, 1},
    };
    for (const auto& w : writes) {
        box->setRegister(w.reg, w.before);
        EXPECT_EQ(write(QString::fromLatin1(w.id), w.value), 0) << w.id;
        EXPECT_EQ(box->registerValue(w.reg), w.after) << w.id;
    }
    // The voltage keeps what the client set, not the register value.
    EXPECT_EQ(
        device->getParameterInterface(QStringLiteral("dali_voltage_setting"))->getActualValue().toDouble(),
        10.0);

    box->setRegister(48, 2);
    EXPECT_EQ(write(QStringLiteral("dorvane_mode"), QStringLiteral("dv3_host")),
        core::ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(box->registerValue(48), 2);
    EXPECT_EQ(
        write(QStringLiteral("dali_voltage_setting"), QStringLiteral("high")), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(write(QStringLiteral("identify"), QStringLiteral("on")), core::ITF_ERR_INVALID_PARAM);
}

TEST_F(VandrelDeviceTest, DorvaneControllerParametersLiveInItsRam)
{
    open(boxConfig(0x1810, 15, 12));
    sim::SimDorvaneController& controller = box->dorvaneController();
    controller.setRamWord(16, 0x0141);
    EXPECT_EQ(read(QStringLiteral("dorvane_mode")).toString(), QStringLiteral("dv2_host"));
    EXPECT_EQ(read(QStringLiteral("dorvane_master_enabled")).toInt(), 1);
    EXPECT_EQ(read(QStringLiteral("dorvane2_slave_enabled")).toInt(), 1);
    EXPECT_EQ(read(QStringLiteral("dorvane_slave_enabled")).toInt(), 0);
    EXPECT_EQ(read(QStringLiteral("dorvane_auto_placement")).toInt(), 1);
    // Release 18.10 sets the mode bits 0x45 of the configuration word and keeps the rest.
    EXPECT_EQ(write(QStringLiteral("dorvane_mode"), QStringLiteral("dv1_device")), 0);
    EXPECT_EQ(controller.ramWord(16), 0x0104);
    EXPECT_EQ(write(QStringLiteral("dorvane_mode"), QStringLiteral("dv2_host")),
        core::ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(controller.ramWord(16), 0x0104);
    controller.setRamWord(16, 0x0105);
    EXPECT_EQ(read(QStringLiteral("dorvane_mode")).toString(), QStringLiteral("dv1_host"));
    controller.setRamWord(16, 0x0001);
    EXPECT_EQ(read(QStringLiteral("dorvane_mode")).toString(), QStringLiteral("undefined"));

    EXPECT_EQ(write(QStringLiteral("dorvane_short"), 1), 0);
    EXPECT_EQ(controller.ramWord(16), 0x0009);
    EXPECT_EQ(write(QStringLiteral("calibration_temperature"), 0x21), 0);
    EXPECT_EQ(read(QStringLiteral("calibration_temperature")).toInt(), 0x21);
    EXPECT_EQ(write(QStringLiteral("dorvane_address"), 9), 0);
    EXPECT_EQ(read(QStringLiteral("dorvane_address")).toInt(), 9);
    controller.setRamWord(130, 0x0300); // a byte at an even address is the high byte of its word
    EXPECT_EQ(read(QStringLiteral("dorvane_subversion")).toInt(), 3);
}

TEST_F(VandrelDeviceTest, OlderFirmwareHasNoSubversionRegisterAndAFailedTransferIsReported)
{
    open(boxConfig(0x1810, 15, 6));
    QVariant value;
    EXPECT_EQ(read(QStringLiteral("subversion"), value), core::ITF_ERR_UNSUPPORTED_PARAMETER);
    box->setRegister(4, 0x02);
    EXPECT_EQ(read(QStringLiteral("dorvane_status")).toInt(), 1);
    // The monitor polls through the same endpoint and would use up a counted
    // fault, so the cable stays broken until the read has failed.
    box->editFaults([](sim::SimFaults& f) {
        f.failNext(sim::SimCall::BulkIn, LIBUSB_ERROR_TIMEOUT, sim::SimFaults::Forever);
    });
    EXPECT_EQ(read(QStringLiteral("dorvane_status"), value), core::ITF_ERR_TIMEOUT);
    box->editFaults([](sim::SimFaults& f) { f.clear(); });
}

TEST_F(VandrelDeviceTest, InitRaisesALowDaliSupplyTo15Volts)
{
    const struct
    {
        quint16 stored;
        quint16 after;
    } cases[] = {
        {448, 331}, // 12 V
        {175, 175}, // 19 V
        {0, 0},     // 23.5 V
    };
    for (const auto& c : cases) {
        open(boxConfig(0x2014, 21, 12), [&](sim::SimVandrelBox& b) { b.setRegister(39, c.stored); });
        EXPECT_EQ(box->registerValue(39), c.after) << c.stored;
        device.reset();
    }
}

TEST_F(VandrelDeviceTest, Release1810SwitchesPowerAndRolesThroughItsParameters)
{
    UsbVandrelDevice* vandrel = open(boxConfig(0x1810, 15, 6));
    box->setRegister(8, 0x00);
    EXPECT_EQ(vandrel->setStatus(core::Device::STATUS_DALI_CONNECTED, 1), 0);
    EXPECT_EQ(box->registerValue(8), 0x01);
    EXPECT_EQ(vandrel->setStatus(core::Device::STATUS_DALI_CONNECTED, 0), 0);
    EXPECT_EQ(box->registerValue(8), 0x00);
    std::vector<std::unique_ptr<proto::RawPacket>> entries;
    vandrel->getPacketLog()->getPackets(entries, 0, 1);
    QStringList texts;
    for (const auto& entry : entries)
        texts << entry->getLogText();
    EXPECT_EQ(
        texts, (QStringList {QStringLiteral("Enabling DALI power"), QStringLiteral("Disabling DALI power")}));
    EXPECT_EQ(vandrel->setStatus(core::Device::STATUS_DORVANE_CONNECTED, 1), 0);
    // No "dorvane_reset" below subversion 7, and no status past the last.
    EXPECT_EQ(vandrel->setStatus(core::Device::STATUS_DORVANE_RESET_TRIGGER, 1),
        core::ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(vandrel->setStatus(core::Device::Status(5), 1), core::ITF_ERR_UNSUPPORTED_PARAMETER);

    box->setRegister(41, 331);
    EXPECT_TRUE(vandrel->isStatusTrue(core::Device::STATUS_DALI_CONNECTED));
    box->setRegister(41, 330);
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DALI_CONNECTED));
    // No Dorvane driver on the port.
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DORVANE_CONNECTED));
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DORVANE_RESET_TRIGGER));
}

TEST_F(VandrelDeviceTest, Release2014LeavesPowerToTheBoxAndHandsOutItsStatusBlock)
{
    UsbVandrelDevice* vandrel = open(boxConfig(0x2014, 21, 12));
    EXPECT_EQ(vandrel->setStatus(core::Device::STATUS_DALI_CONNECTED, 1), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(vandrel->setStatus(core::Device::STATUS_DORVANE_CONNECTED, 1), 0);
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DORVANE_CONNECTED));
    box->addBusModel(std::make_shared<sim::SimDorvaneDriver>());
    box->setRegister(48, 2); // "dv1_device": the driver on the port answers
    EXPECT_TRUE(vandrel->isStatusTrue(core::Device::STATUS_DORVANE_CONNECTED));
    EXPECT_FALSE(vandrel->isStatusTrue(core::Device::STATUS_DALI_CONNECTED));

    QByteArray block;
    for (int i = 1; i <= 63; ++i)
        block.append(char(i));
    box->setStatusBlock(block);
    QByteArray out("x");
    EXPECT_EQ(vandrel->getStatusData(out), 0);
    EXPECT_EQ(out, QByteArray("x") + block);

    box->unplug();
    QByteArray lost;
    EXPECT_NE(vandrel->getStatusData(lost), 0);
    EXPECT_TRUE(lost.isEmpty());
}

TEST_F(VandrelDeviceTest, AReconnectRestartsTheMonitorAndMakesNothingTwice)
{
    const int threadsBefore = core::ThreadManager::instance()->getThreadCount();
    UsbVandrelDevice* vandrel = open(boxConfig(0x2014, 21, 12));
    ASSERT_TRUE(vandrel->getDataMonitor());
    EXPECT_EQ(core::ThreadManager::instance()->getThreadCount(), threadsBefore + 1);
    EXPECT_TRUE(test::waitUntil([&] { return vandrel->getDataMonitor()->isPolling(); }));
    const QList<core::Universe*> universes = vandrel->getChildUniverses();
    const size_t parameters = vandrel->getParameterList().size();
    itf::UsbVandrelDataMonitor* monitor = vandrel->getDataMonitor();

    core::IParameter* connection = vandrel->getParameterInterface(QStringLiteral("connection_status"));
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->setValue(QStringLiteral("disconnected"), core::IParameter::UPDATE_YES), 0);
    EXPECT_FALSE(monitor->isPolling());
    EXPECT_EQ(usb.transport->openHandleCount(), 0);
    EXPECT_EQ(connection->setValue(QStringLiteral("connected"), core::IParameter::UPDATE_YES), 0);
    EXPECT_TRUE(vandrel->isConnected());
    EXPECT_TRUE(test::waitUntil([&] { return monitor->isPolling(); }));
    EXPECT_EQ(vandrel->getDataMonitor(), monitor);
    EXPECT_EQ(vandrel->getChildUniverses(), universes);
    EXPECT_EQ(vandrel->getParameterList().size(), parameters);
    EXPECT_EQ(core::ThreadManager::instance()->getThreadCount(), threadsBefore + 1);
    EXPECT_EQ(read(QStringLiteral("version")).toInt(), 21);
}

TEST_F(VandrelDeviceTest, DestructionStopsTheMonitorRemovesTheBusesAndClosesTheBox)
{
    const int threadsBefore = core::ThreadManager::instance()->getThreadCount();
    const int universesBefore = core::UniverseManager::instance().count();
    UsbVandrelDevice* vandrel = open(boxConfig(0x2014, 21, 12, 0x02));
    QList<QPointer<core::Universe>> buses;
    for (core::Universe* universe : vandrel->getChildUniverses())
        buses.append(universe);
    ASSERT_EQ(buses.size(), 3);
    EXPECT_EQ(core::UniverseManager::instance().count(), universesBefore + 3);
    device.reset();
    for (const QPointer<core::Universe>& bus : buses)
        EXPECT_FALSE(bus);
    EXPECT_EQ(core::UniverseManager::instance().count(), universesBefore);
    EXPECT_EQ(core::ThreadManager::instance()->getThreadCount(), threadsBefore);
    EXPECT_EQ(usb.transport->openHandleCount(), 0);
    EXPECT_EQ(usb.transport->heldDeviceCount(), 0);
}

} // namespace
