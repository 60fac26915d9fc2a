// The single-frame operations of the Wystrel bootloader against the simulated
// driver on a box's DMX line: the frame the driver received, byte for byte,
// and what the operation made of the driver's answer.

#include "../scripted_dmx_interface.h"
#include "sim_bootloader_fixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarvesk;
using test::withChecksum;

namespace {

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

class WystrelSingleFrames : public test::SimBootloaderFixture, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openBench(GetParam()));
        bootloader = qobject_cast<itf::WystrelBootloader*>(proxyOf(dmx.get())->getBootloaderInterface());
        ASSERT_TRUE(bootloader);
        driver = &dmxDriver()->core();
    }

    itf::WystrelBootloader* bootloader = nullptr;
    sim::SimDriverCore* driver = nullptr;
};

struct Row
{
    const char* name;
    std::function<int(itf::WystrelBootloader&)> call;
    QByteArray frame;
    int status;
};

} // namespace

using WystrelSpecialFrames = WystrelSingleFrames;

// The two special-parameter frames reach the running application: 254 takes
// the mode without a prime unlock before it, the temperature correction is
// held to 63 and marked with bit 7. (The plain class marks every frame
// internal, and the box's own Dorvane controller takes an internal frame that
// is not a bootloader frame; the box-assisted class sends them on the line.)
TEST_P(WystrelSpecialFrames, SpecialParameterFramesReachTheApplication)
{
    EXPECT_EQ(bootloader->setSpecialVolatileMode(0x12), core::ITF_OK);
    EXPECT_EQ(hex(driver->lastFrame()), hex(withChecksum({0xD0, 0x0E, 0x00, 0x00, 0xFE, 0x00, 0x12, 0x00})));
    EXPECT_EQ(driver->lastSpecialValue(), 0x12);
    EXPECT_EQ(driver->primeUnlocks(), 0);
    EXPECT_FALSE(driver->inBootloader());

    for (const auto& [value, sent] : {std::pair {5, 0x85}, std::pair {63, 0xBF}, std::pair {70, 0xBF}}) {
        EXPECT_EQ(bootloader->sendWriteTemperatureCorrection(quint8(value)), core::ITF_OK) << value;
        EXPECT_EQ(
            hex(driver->lastFrame()), hex(withChecksum({0xD0, 0x0E, 0x00, 0x00, 0xFE, 0x00, sent, 0x00})))
            << value;
        EXPECT_EQ(driver->lastSpecialValue(), sent) << value;
    }
}

// The bootloader frames, each with the values decoded from the driver's answer
// (bench: systems 0x123 and 0x045, core end 2048 of 8 pages, the core module
// 3.1 at 512, module 7 (2.4, two slots) at 2048, nothing in page 3).
TEST_P(WystrelSingleFrames, BootloaderFramesAndTheirAnswers)
{
    driver->restart();
    ASSERT_TRUE(driver->inBootloader());
    unsigned short first = 0, second = 0, id = 0, coreEnd = 0;
    unsigned char size = 0, version = 0, subversion = 0, version2 = 0, pages = 0;
    const Row rows[] = {
        {"hardware information", [&](auto& b) { return b.sendReadHwSysInfo(first, second); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFE, 0x00}), core::ITF_OK},
        {"number of pages", [&](auto& b) { return b.sendReadNoPages(coreEnd, pages, 3); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFC, 0x00}), core::ITF_OK},
        {"first page information", [&](auto& b) { return b.sendReadPageInfoFirst(2048, id, size, version); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x03, 0x08, 0x00}), core::ITF_OK},
        {"second page information",
            [&](auto& b) { return b.sendReadPageInfoSecond(2048 + 17, version, subversion, version2); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x04, 0x08, 0x00}), core::ITF_OK},
        {"first page information of an empty slot",
            [&](auto& b) { return b.sendReadPageInfoFirst(3 * 2048, id, size, version2); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x03, 0x18, 0x00}),
            proto::WystrelPacket::ErrPageDataRange},
        {"second page information of an empty slot",
            [&](auto& b) { return b.sendReadPageInfoSecond(3 * 2048, version2, version2, version2); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x04, 0x18, 0x00}),
            proto::WystrelPacket::ErrPageDataRange},
        {"checksums of 8 pages", [](auto& b) { return b.sendCheckChecksum(8); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x08, 0x00}), core::ITF_OK},
        {"checksums, count held to 15", [](auto& b) { return b.sendCheckChecksum(40); },
            withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x0F, 0x00}), core::ITF_OK},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.call(*bootloader), row.status) << row.name;
        EXPECT_EQ(hex(driver->lastFrame()), hex(row.frame)) << row.name;
    }
    EXPECT_EQ(first, 0x123);
    EXPECT_EQ(second, 0x045);
    EXPECT_EQ(coreEnd, 2048);
    EXPECT_EQ(pages, 8);
    EXPECT_EQ(id, 7) << "left as it was by the empty slot";
    EXPECT_EQ(size, 2);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(subversion, 4);

    // A module word changed: the bootloader's sum of it is no longer 0.
    driver->bootloader().setWord(2048 + 100, quint16(driver->bootloader().word(2048 + 100) ^ 1));
    EXPECT_EQ(bootloader->sendCheckChecksum(2), core::ITF_ERR_FW_CHECKSUM);
    EXPECT_EQ(bootloader->sendCheckChecksum(1), core::ITF_OK) << "page 0 holds only the core";
}

// A page erase: page 0 is sent as 1 and pages above 15 as 15; the page's words
// read as erased flash afterwards, the next page keeps its module.
TEST_P(WystrelSingleFrames, ErasePage)
{
    driver->restart();
    ASSERT_NE(driver->bootloader().word(2048), 0x3FFF);
    EXPECT_EQ(bootloader->sendErasePage(0), core::ITF_OK);
    EXPECT_EQ(hex(driver->lastFrame()), hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x21, 0x00})));
    for (int address : {2048, 3000, 4095})
        EXPECT_EQ(driver->bootloader().word(address), 0x3FFF) << address;
    EXPECT_EQ(driver->bootloader().word(4096), 12);
    EXPECT_EQ(bootloader->sendErasePage(20), core::ITF_OK);
    EXPECT_EQ(hex(driver->lastFrame()), hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x2F, 0x00})));
}

// Answers that do not come, or come spoiled: each operation gives the status
// of the exchange and leaves its outputs alone.
TEST_P(WystrelSingleFrames, MissingAndSpoiledAnswers)
{
    driver->restart();
    sim::SimDriverFaults& faults = dmxDriver()->faults();
    unsigned short first = 7, second = 7, coreEnd = 7;
    unsigned char pages = 7;

    faults.silent = sim::SimDriverFaults::Forever;
    EXPECT_EQ(bootloader->sendReadHwSysInfo(first, second), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(bootloader->sendErasePage(2), core::ITF_ERR_NO_REPLY);
    faults.silent = 0;
    faults.badChecksum = sim::SimDriverFaults::Forever;
    EXPECT_EQ(bootloader->sendReadNoPages(coreEnd, pages, 2), core::ITF_ERR_PACKET_CHECKSUM);
    EXPECT_EQ(bootloader->sendCheckChecksum(8), core::ITF_ERR_PACKET_CHECKSUM);
    faults.badChecksum = 0;
    EXPECT_EQ(first, 7);
    EXPECT_EQ(second, 7);
    EXPECT_EQ(coreEnd, 7);
    EXPECT_EQ(pages, 7);
}

std::string firmwareName(const ::testing::TestParamInfo<int>& info)
{
    return "firmware" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(PlainAndBoxAssisted, WystrelSingleFrames, ::testing::Values(16, 21), firmwareName);
INSTANTIATE_TEST_SUITE_P(BoxAssisted, WystrelSpecialFrames, ::testing::Values(21), firmwareName);

// An erase the bootloader answers with a non-zero byte 5 did not happen: -53.
TEST(WystrelSingleFramesScripted, RefusedErase)
{
    test::ScriptedDmxInterface line;
    itf::WystrelBootloader bootloader(&line, false);
    line.replies.push_back(test::ScriptedDmxInterface::Reply::answer(
        withChecksum({0xD0, 0x98, 0x00, 0x00, 0xFD, 0x01, 0x00, 0x00})));
    EXPECT_EQ(bootloader.sendErasePage(4), core::ITF_ERR_FW_ADDRESS_RANGE);
    line.replies.push_back(test::ScriptedDmxInterface::Reply::answer(
        withChecksum({0xD0, 0x98, 0x00, 0x00, 0xFD, 0x00, 0x3F, 0x00})));
    EXPECT_EQ(bootloader.sendErasePage(4), core::ITF_OK);
}
