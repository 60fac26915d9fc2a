#include "core/itf_error.h"
#include "core/parameters/raw_parameter_interface.h"
#include "devices/virtual_dali_interface.h"
#include "devices/virtual_device.h"
#include "interfaces/virtual_interface.h"
#include "universes/virtual_universe.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using core::ITF_RES_BYTE;
using core::ITF_RES_LONG;
using core::ITF_RES_WORD;

namespace {

class VirtualDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        universe = std::make_unique<universes::VirtualUniverse>(
            QStringLiteral("Virtual"), new itf::VirtualInterface(nullptr));
        device = std::make_unique<devices::VirtualDevice>(universe.get(), nullptr);
        memory = device->getRawParameterInterface(QStringLiteral("presmonde"));
        ASSERT_NE(memory, nullptr);
    }

    unsigned read(core::NetworkResolution width, int address)
    {
        unsigned value = 0xDEADBEEF;
        EXPECT_EQ(memory->getParameter(width, address, value), 0);
        return value;
    }

    std::unique_ptr<universes::VirtualUniverse> universe;
    std::unique_ptr<devices::VirtualDevice> device;
    core::RawParameterInterface* memory = nullptr;
};

TEST_F(VirtualDeviceTest, IdentityAndMainInterface)
{
    EXPECT_EQ(device->getVersion(), 271u);
    EXPECT_EQ(device->getSubversion(), 0u);
    EXPECT_EQ(device->getRawParameterInterface(QStringLiteral("main")), memory);
    EXPECT_EQ(device->initializeDeviceInfo(nullptr), 0);
    EXPECT_EQ(device->getVersion(), 271u);
}

TEST_F(VirtualDeviceTest, NewMemoryReadsZeroAtEveryWidth)
{
    for (int address : {0, 10, 0x3FFF, 70000}) {
        EXPECT_EQ(read(ITF_RES_BYTE, address), 0u);
        EXPECT_EQ(read(ITF_RES_WORD, address), 0u);
        EXPECT_EQ(read(ITF_RES_LONG, address), 0u);
    }
}

// Values are stored most significant byte first over consecutive addresses.
TEST_F(VirtualDeviceTest, MemoryTable)
{
    struct Row
    {
        const char* what;
        core::NetworkResolution width;
        int address;
        unsigned value;
        std::vector<std::pair<int, unsigned>> bytes; // address, byte read afterwards
    };
    const Row rows[] = {
        {"byte keeps its low 8 bits", ITF_RES_BYTE, 3, 0x1A5, {{3, 0xA5}, {4, 0}}},
        {"word spans two bytes", ITF_RES_WORD, 10, 0x1234, {{10, 0x12}, {11, 0x34}, {12, 0}}},
        {"long spans four bytes", ITF_RES_LONG, 20, 0xA1B2C3D4,
            {{20, 0xA1}, {21, 0xB2}, {22, 0xC3}, {23, 0xD4}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(memory->setParameter(row.width, row.address, row.value), 0);
        for (const auto& [address, byte] : row.bytes)
            EXPECT_EQ(read(ITF_RES_BYTE, address), byte) << address;
    }
    EXPECT_EQ(read(ITF_RES_WORD, 11), 0x3400u);
    EXPECT_EQ(read(ITF_RES_WORD, 10), 0x1234u);
    EXPECT_EQ(read(ITF_RES_LONG, 20), 0xA1B2C3D4u);
    EXPECT_EQ(read(ITF_RES_LONG, 21), 0xB2C3D400u);
}

TEST_F(VirtualDeviceTest, UnknownWidthIsRefusedAndStoresNothing)
{
    unsigned value = 7;
    EXPECT_EQ(memory->setParameter(core::NetworkResolution(9), 5, 0xFF), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(memory->getParameter(core::NetworkResolution(9), 5, value), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(read(ITF_RES_BYTE, 5), 0u);
}

TEST_F(VirtualDeviceTest, DaliPortAnswersEveryQueryWithFE)
{
    std::shared_ptr<itf::IDali> dali = device->getDaliInterface();
    ASSERT_NE(dali, nullptr);
    dali->sendCommand(0xFF, 0x05);
    dali->sendCommandTwice(0xFF, 0x20);
    dali->sendSpecialCommand(0xA3, 0x01);
    for (int address : {0x01, 0x81, 0xFF})
        EXPECT_EQ(dali->sendCommandExpectingAnswer(std::uint8_t(address), 0x91), std::uint8_t(0xFE));
    EXPECT_EQ(dali->sendSpecialCommandExpectingAnswer(0xC5, 0x02), std::uint8_t(0xFE));
}

} // namespace
