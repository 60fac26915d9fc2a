#include "core/itf_error.h"
#include "core/parameters/raw_parameter_interface.h"
#include "devices/usb_vandrel_device.h"
#include "fake_product_database.h"
#include "sim_usb_universe.h"

#include <gtest/gtest.h>

using namespace tarvesk;
using tarvesk::test::SimUsbUniverse;

namespace {

// The Dorvane controller's memories of a simulated box, through the box's raw interfaces.
class RawDorvaneTest : public ::testing::Test
{
protected:
    void open(quint8 subversion)
    {
        sim::SimBoxConfig config;
        config.subversion = subversion;
        box = usb.libUsb->addBox(config);
        int status = -1;
        device = usb.createDevice(0, nullptr, &status);
        ASSERT_EQ(status, 0);
        ram = device->getRawParameterInterface(QStringLiteral("dorvane_ram"));
        eeprom = device->getRawParameterInterface(QStringLiteral("dorvane_ee"));
        ASSERT_TRUE(ram && eeprom);
    }

    SimUsbUniverse usb;
    std::shared_ptr<sim::SimVandrelBox> box;
    std::unique_ptr<core::Device> device;
    core::RawParameterInterface* ram = nullptr;
    core::RawParameterInterface* eeprom = nullptr;
};

TEST_F(RawDorvaneTest, BytesAreHalvesOfWordsAndAByteWriteKeepsTheOtherHalf)
{
    open(12);
    sim::SimDorvaneController& controller = box->dorvaneController();
    controller.setRamWord(16, 0xABCD);
    unsigned int value = 0;
    EXPECT_EQ(ram->getParameter(core::ITF_RES_WORD, 16, value), 0);
    EXPECT_EQ(value, 0xABCDu);
    EXPECT_EQ(ram->getParameter(core::ITF_RES_BYTE, 17, value), 0);
    EXPECT_EQ(value, 0xCDu);
    EXPECT_EQ(ram->getParameter(core::ITF_RES_BYTE, 16, value), 0);
    EXPECT_EQ(value, 0xABu);

    EXPECT_EQ(ram->setParameter(core::ITF_RES_BYTE, 17, 0x12), 0);
    EXPECT_EQ(controller.ramWord(16), 0xAB12);
    controller.setRamWord(16, 0xABCD);
    EXPECT_EQ(ram->setParameter(core::ITF_RES_BYTE, 16, 0x12), 0);
    EXPECT_EQ(controller.ramWord(16), 0x12CD);

    EXPECT_EQ(ram->getParameter(core::ITF_RES_WORD, 17, value), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(ram->setParameter(core::ITF_RES_WORD, 17, 1), core::ITF_ERR_INVALID_PARAM);

    // The EEPROM is its own memory.
    EXPECT_EQ(eeprom->setParameter(core::ITF_RES_WORD, 16, 0x5AA5), 0);
    EXPECT_EQ(controller.eepromWord(16), 0x5AA5);
    EXPECT_EQ(controller.ramWord(16), 0x12CD);
    EXPECT_EQ(eeprom->getParameter(core::ITF_RES_WORD, 16, value), 0);
    EXPECT_EQ(value, 0x5AA5u);
}

TEST_F(RawDorvaneTest, BelowSubversion7TheRamAnswersWithSwappedBytes)
{
    open(6);
    box->dorvaneController().setRamWord(16, 0x1234);
    unsigned int value = 0;
    EXPECT_EQ(ram->getParameter(core::ITF_RES_WORD, 16, value), 0);
    EXPECT_EQ(value, 0x1234u);
}

TEST_F(RawDorvaneTest, ALineThatNeverAnswersIsNoReplyAndABytesNeighbourIsNotGuessed)
{
    open(12);
    box->dorvaneController().setRamWord(16, 0xABCD);
    box->unplug();
    unsigned int value = 0;
    EXPECT_NE(ram->getParameter(core::ITF_RES_WORD, 16, value), 0);
    EXPECT_NE(ram->setParameter(core::ITF_RES_BYTE, 17, 0x12), 0);
    box->replug();
    EXPECT_EQ(box->dorvaneController().ramWord(16), 0xABCD);
}

} // namespace
