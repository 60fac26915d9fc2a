#include "core/database/feature.h"
#include "core/database/feature_repository.h"
#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/parameter.h"
#include "dali/sim_dali_bus.h"
#include "devices/dali_device.h"
#include "log_capture.h"
#include "sim_bus_dali_interface.h"
#include "universes/dali_universe.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using core::IParameter;
using core::Parameter;
using devices::DaliDevice;
using sim::SimDaliGear;
using sim::SimDaliGearConfig;

namespace {

// A DALI universe on a simulated bus with gear at short addresses 5 and 6.
class DaliDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int a : {5, 6}) {
            SimDaliGearConfig config;
            config.shortAddress = a;
            config.identity.firmwareMajor = 3;
            config.identity.firmwareMinor = quint8(12 + a - 5);
            auto gear = std::make_shared<SimDaliGear>(config);
            gear->memory().addBank(1, QByteArray(1, char(0x20 + a)));
            bus.addGear(gear);
        }
        auto* itf = new test::SimBusDaliInterface(bus);
        itf->addCapability(core::ITF_CAP_DALI_REPLY_SUPPORT);
        universe = std::make_unique<universes::DaliUniverse>(QStringLiteral("DALI"), itf);
    }

    std::unique_ptr<DaliDevice> device(uchar address, bool isVirtual = false)
    {
        auto made = std::make_unique<DaliDevice>(universe.get(), address, isVirtual);
        EXPECT_EQ(made->initializeDeviceInfo(nullptr), 0);
        return made;
    }

    static Parameter* param(DaliDevice& device, const char* pid)
    {
        return qobject_cast<Parameter*>(device.getParameterInterface(QString::fromLatin1(pid)));
    }

    static int read(DaliDevice& device, const char* pid, QVariant& value)
    {
        return param(device, pid)->getValue(value, IParameter::UPDATE_YES);
    }

    static int write(DaliDevice& device, const char* pid, const QVariant& value)
    {
        return param(device, pid)->setValue(value, IParameter::UPDATE_YES);
    }

    sim::SimDaliBus bus;
    std::unique_ptr<universes::DaliUniverse> universe;
};

TEST_F(DaliDeviceTest, TheParameterTableItsCommandsAndTheRevision)
{
    auto gear5 = device(0x0B);
    const auto& table = gear5->parameterTable();
    EXPECT_EQ(table.size(), 67u); // 24 + 16 scenes + 8 bank-0 rows, 19 for device type 6
    const struct
    {
        const char* pid;
        int kind;
        int query;
        int store;
        int deviceType;
        bool readOnly;
    } rows[] = {
        {"dali_102_status", DaliDevice::INT_QUERY, 0x90, 0, 0, true},
        {"dali_102_lamp_failure", DaliDevice::BOOL_QUERY, 0x92, 0, 0, true},
        {"dali_102_operating_mode", DaliDevice::INT_QUERY, 0x9E, 0, 0, true},
        {"dali_102_group_8_15", DaliDevice::INT_QUERY, 0xC1, 0x60, 0, false},
        {"dali_102_max_level", DaliDevice::INT_QUERY, 0xA1, 0x2A, 0, false},
        {"dali_102_system_failure_level", DaliDevice::INT_QUERY, 0xA4, 0x2C, 0, false},
        {"dali_102_scene_level_0", DaliDevice::INT_QUERY, 0xB0, 0x40, 0, false},
        {"dali_102_scene_level_15", DaliDevice::INT_QUERY, 0xBF, 0x4F, 0, false},
        {"dali_102_random_address_l", DaliDevice::INT_QUERY, 0xC4, 0, 0, true},
        {"dali_207_dimming_curve", DaliDevice::INT_QUERY, 0xEE, 0xE3, 6, false},
        {"dali_207_fast_fade_time", DaliDevice::INT_QUERY, 0xFD, 0xE4, 6, false},
        {"dali_207_load_increase", DaliDevice::BOOL_QUERY, 0xF5, 0, 6, true},
        {"dali_207_extended_version_number", DaliDevice::INT_QUERY, 0xFF, 0, 6, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pid);
        const auto it = table.find(QString::fromLatin1(row.pid));
        ASSERT_NE(it, table.end());
        EXPECT_EQ(it->second.kind, row.kind);
        EXPECT_EQ(it->second.queryCommand, row.query);
        EXPECT_EQ(it->second.storeCommand, row.store);
        EXPECT_EQ(it->second.deviceType, row.deviceType);
        EXPECT_EQ(param(*gear5, row.pid)->isReadOnly(), row.readOnly);
        EXPECT_EQ(param(*gear5, row.pid)->getAccessLevel(), "dev");
    }
    const auto version = table.find("version");
    ASSERT_NE(version, table.end());
    EXPECT_EQ(version->second.kind, DaliDevice::MEMBANK_INT);
    EXPECT_EQ(version->second.memoryLocation, 9);
    EXPECT_EQ(param(*gear5, "dali_207_load_increase")->getDisplayName(), "Load_increase");

    EXPECT_EQ(gear5->getRevisionString(), "3.12");
    EXPECT_EQ(device(0x0D)->getRevisionString(), "3.13");
    // No gear at short address 7: the revision stays unset, the device is still made.
    EXPECT_EQ(device(0x0F)->getRevisionString(), "");
}

TEST_F(DaliDeviceTest, NamesByAddressByte)
{
    const struct
    {
        uchar address;
        bool isVirtual;
        const char* name;
    } cases[] = {
        {0xFF, false, "DALI broadcast device"},
        {0xFE, true, "DALI broadcast device"},
        {0x0B, false, "DALI short 5 device"},
        {0x0B, true, "DALI short 5 device"},
        {0x87, true, "DALI group 3 virtual device"},
        {0x87, false, "DALI group 3 device"},
        {0xA1, false, "DALI  device"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(device(c.address, c.isVirtual)->getName(), c.name) << int(c.address);
}

TEST_F(DaliDeviceTest, ReadsQueriesAndNoAnswers)
{
    auto gear5 = device(0x0B);
    auto absent = device(0x0F);
    bus.gear(0).setLampFailure(true);
    QVariant value;
    EXPECT_EQ(read(*gear5, "dali_102_lamp_failure", value), 0);
    EXPECT_EQ(value, QVariant(true));
    EXPECT_EQ(read(*gear5, "dali_102_actual_level", value), 0);
    EXPECT_EQ(value.toUInt(), bus.gear(0).actualLevel());
    EXPECT_EQ(read(*gear5, "dali_102_device_type", value), 0);
    EXPECT_EQ(value.toUInt(), 6u);
    // Booleans: no answer is DALI's "no"; numbers: no answer is a failure.
    EXPECT_EQ(read(*absent, "dali_102_lamp_failure", value), 0);
    EXPECT_EQ(value, QVariant(false));
    EXPECT_EQ(read(*absent, "dali_102_actual_level", value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(read(*absent, "dali_207_short_circuit", value), 0);
    EXPECT_EQ(read(*absent, "dali_207_gear_type", value), core::ITF_ERR_NO_REPLY);
    // Memory bank 0.
    EXPECT_EQ(read(*gear5, "subversion", value), 0);
    EXPECT_EQ(value.toUInt(), 12u);
}

TEST_F(DaliDeviceTest, WritesStoresAndGroupsAndRefusesWhatIsNotADataByte)
{
    auto gear5 = device(0x0B);
    SimDaliGear& gear = bus.gear(0);
    EXPECT_EQ(write(*gear5, "dali_102_max_level", 200), 0);
    EXPECT_EQ(write(*gear5, "dali_102_scene_level_15", 77), 0);
    EXPECT_EQ(write(*gear5, "dali_207_dimming_curve", 1), 0);
    EXPECT_EQ(gear.dimmingCurve(), 1);
    QVariant value;
    EXPECT_EQ(read(*gear5, "dali_102_max_level", value), 0);
    EXPECT_EQ(value.toUInt(), 200u);
    EXPECT_EQ(read(*gear5, "dali_102_scene_level_15", value), 0);
    EXPECT_EQ(value.toUInt(), 77u);

    // Bit i adds to group offset + i, a clear bit removes.
    EXPECT_EQ(write(*gear5, "dali_102_group_8_15", 0x81), 0);
    EXPECT_EQ(write(*gear5, "dali_102_group_0_7", 5), 0);
    EXPECT_EQ(gear.groups(), 0x8105);
    EXPECT_EQ(write(*gear5, "dali_102_group_0_7", 0), 0);
    EXPECT_EQ(gear.groups(), 0x8100);
    EXPECT_EQ(bus.gear(1).groups(), 0); // the other gear is not addressed

    const qint64 frames = bus.forwardFrames();
    for (const QVariant& bad : {QVariant(256), QVariant(-1), QVariant(2.5), QVariant("x")}) {
        EXPECT_EQ(write(*gear5, "dali_102_max_level", bad), core::ITF_ERR_INVALID_PARAM)
            << bad.toString().toStdString();
        EXPECT_EQ(write(*gear5, "dali_102_group_0_7", bad), core::ITF_ERR_INVALID_PARAM);
    }
    // Through the scaled path too: refused, not clamped to 255.
    EXPECT_EQ(param(*gear5, "dali_102_max_level")->setScaledValue(300, IParameter::UPDATE_YES),
        core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(write(*gear5, "dali_102_status", 1), core::ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(write(*gear5, "dali_102_lamp_failure", true), core::ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(bus.forwardFrames(), frames); // refused without a frame
    EXPECT_EQ(gear.groups(), 0x8100);
}

TEST_F(DaliDeviceTest, D4iFeaturesComeWholeAndReadTheirOwnGear)
{
    test::LogCapture log;
    auto gear5 = device(0x0B);
    core::FeatureRepository features;
    auto whole = std::make_shared<core::Feature>("whole");
    whole->addParameterIds({"bank1_byte"});
    auto broken = std::make_shared<core::Feature>("broken");
    broken->addParameterIds({"bank1_copy", "undefined_pid"});
    features.addFeature(whole);
    features.addFeature(broken);
    core::DaliMemoryBankParameterRepository definitions;
    for (const char* pid : {"bank1_byte", "bank1_copy"}) {
        core::ParameterData data;
        data.identifier = pid;
        data.group = "Luminaire configuration data";
        data.readAction = "memory_bank_read_integer";
        data.daliMemoryBankData = (1u << 24) | (3u << 16) | (1u << 8) | 1u; // bank 1, location 3, 1 byte
        definitions.addParameter(data);
    }
    gear5->addD4iParameters({"broken", "unknown_feature", "whole"}, features, definitions);

    EXPECT_EQ(gear5->getParameterInterface("bank1_copy"), nullptr);
    EXPECT_TRUE(log.hasWarningContaining("Failed to load feature broken: Parameter with pid undefined_pid"));
    EXPECT_TRUE(log.hasWarningContaining("Failed to load feature unknown_feature"));
    // Read through the memory-bank actions at the device's own address:
    // broadcast would collide with the gear at short address 6.
    QVariant value;
    ASSERT_NE(param(*gear5, "bank1_byte"), nullptr);
    EXPECT_EQ(read(*gear5, "bank1_byte", value), 0);
    EXPECT_EQ(value.toUInt(), 0x25u);
}

} // namespace
