#include "bootloader_test_support.h"

#include "../scripted_dmx_interface.h"
#include "core/firmware_module.h"
#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/bootloader_state_factory.h"
#include "interfaces/bootloader/wystrel_bootloader.h"
#include "service/json_rpc_exception.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using test::ScriptedDmxInterface;
using test::withChecksum;

namespace {

QByteArray rowAnswer(int address, quint8 version, int fill)
{
    QByteArray answer;
    for (int b : {0xD0, 0x98, 0x00, 0x00, 0xFE, address >> 8, address & 0xE0, int(version)})
        answer.append(char(b));
    for (int i = 0; i < 32; ++i) {
        const int w = (fill + i) & 0x3FFF;
        answer.append(char(w & 0xFF));
        answer.append(char(w >> 8));
    }
    answer.append('\0');
    quint8 sum = 0;
    for (char c : answer)
        sum = quint8(sum + quint8(c));
    answer.append(char(sum));
    return answer;
}

QByteArray extendedAnswer(int b5, int b6, int b7)
{
    return withChecksum({0xD0, 0x98, 0x00, 0x00, 0xFD, b5, b6, b7});
}

// A proxy over the plain bootloader on a scripted line.
class Proxy : public ::testing::Test
{
protected:
    Proxy()
        : bootloader(new itf::WystrelBootloader(&dmx, false))
        , proxy(&dmx, bootloader, new itf::BootloaderStateMachine(new itf::BootloaderStateFactory()))
    { }

    void expectFailure(const std::function<void()>& call, const QString& message)
    {
        try {
            call();
            ADD_FAILURE() << "no exception, expected " << message.toStdString();
        } catch (const JsonRpcException& e) {
            EXPECT_EQ(e.code(), -32603);
            EXPECT_TRUE(e.message().startsWith(message)) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("bootloader_proxy")))
                << e.message().toStdString();
        }
    }

    ScriptedDmxInterface dmx;
    itf::WystrelBootloader* bootloader;
    itf::BootloaderProxy proxy;
};

} // namespace

// Rows are read from the one holding the first address to the one holding
// the last, each stored at its own row start; the count cannot wrap at 0xFFFF.
TEST_F(Proxy, ReadRowsCoversTheRangeRowByRow)
{
    struct Case
    {
        const char* name;
        unsigned short first, last;
        QList<int> rows;
    };
    const Case cases[] = {
        {"the datastore", 0x780, 0x7FF, {0x780, 0x7A0, 0x7C0, 0x7E0}},
        {"reversed range", 0x7A0, 0x780, {}},
        {"unaligned first address", 0x7A5, 0x7C0, {0x7A0, 0x7C0}},
        {"last row of the address space", 0xFFE0, 0xFFFF, {0xFFE0}},
    };
    for (const Case& c : cases) {
        dmx.sent.clear();
        for (int row : c.rows)
            dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(rowAnswer(row, 9, row)));
        proxy.readRows(c.first, c.last);
        ASSERT_EQ(dmx.sent.size(), c.rows.size()) << c.name;
        for (int row : c.rows) {
            EXPECT_EQ(proxy.getInterfaceFirmwareBuffer().getWord(row), row & 0x3FFF) << c.name;
            EXPECT_EQ(proxy.getInterfaceFirmwareBuffer().getWord(row + 31), (row + 31) & 0x3FFF) << c.name;
        }
    }
    QVariant bootloaderVersion;
    proxy.getInterfaceFirmwareBuffer()
        .getDataStore()
        ->getDSParameter("bootloader_version")
        ->getValue(bootloaderVersion, core::IParameter::UPDATE_NO);
    EXPECT_EQ(bootloaderVersion.toInt(), 9);

    // A failed row ends the read with its address; rows read before it stay.
    dmx.replies = {ScriptedDmxInterface::Reply::answer(rowAnswer(0x100, 9, 0x55))};
    expectFailure([this] { proxy.readRows(0x100, 0x13F); },
        QStringLiteral("Failed to read firmware row at address 288. error -11"));
    EXPECT_EQ(proxy.getInterfaceFirmwareBuffer().getWord(0x100), 0x55);
}

// A device whose page count cannot be read is scanned over pages 0 to 7; a
// blank slot ends its page; the fixed modules fill in what was not found.
TEST_F(Proxy, ModuleSearchWithDefaultsAndFixedModules)
{
    QByteArray info = rowAnswer(0x8000, 6, 0);
    // Word 0x8006: device id 0x302B (low byte first).
    info[8 + 12] = char(0x2B);
    info[8 + 13] = char(0x30);
    quint8 sum = 0;
    for (int i = 0; i < info.size() - 1; ++i)
        sum = quint8(sum + quint8(info.at(i)));
    info[info.size() - 1] = char(sum);
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(info));
    dmx.replies.push_back(ScriptedDmxInterface::Reply::none()); // page count: no answer
    const auto blank = ScriptedDmxInterface::Reply::answer(extendedAnswer(0xFF, 0x3F, 0));
    // Page 0 blank; page 1: slot 0 id 0 (no module), module 7 of size 3 at slot 1, slot 4 blank.
    dmx.replies.push_back(blank);
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(extendedAnswer(0x00, 0x00, 3)));
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(extendedAnswer(0x00, 0x00, 1)));
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(extendedAnswer(0x07, 0x02, 4)));
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(extendedAnswer(0x02, 0x05, 2)));
    dmx.replies.push_back(blank);
    for (int page = 2; page < 8; ++page)
        dmx.replies.push_back(blank);

    unsigned char bootloaderVersion = 0;
    unsigned short processorId = 0;
    proxy.searchModules(bootloaderVersion, processorId, 0);
    EXPECT_EQ(bootloaderVersion, 6);
    EXPECT_EQ(processorId, 4);
    EXPECT_EQ(dmx.sent.size(), 2 + 1 + 5 + 6);
    EXPECT_TRUE(dmx.sent.at(7).startsWith(QStringLiteral("D0 18 00 00 FD 03 0C")))
        << "slot 4 of page 1, after the size-3 module";

    core::Firmware& buffer = proxy.getInterfaceFirmwareBuffer();
    core::FirmwareModule* found = buffer.getModuleById(7);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->getModuleSize(), 3);
    EXPECT_EQ(found->getModuleVersion(), 2);
    EXPECT_EQ(found->getModuleSubversion(), 5);
    core::FirmwareModule* coreModule = buffer.getModuleById(0);
    ASSERT_TRUE(coreModule);
    EXPECT_EQ(coreModule->getModuleSize(), 0);
    EXPECT_EQ(coreModule->getStartAddress(), 512);
    EXPECT_EQ(coreModule->getModuleVersion(), 4) << "the version byte of the last first-record read";
    EXPECT_EQ(coreModule->getModuleSubversion(), 2);
    core::FirmwareModule* store = buffer.getModuleById(998);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->getStartAddress(), 15872);
    core::FirmwareModule* boot = buffer.getModuleById(999);
    ASSERT_TRUE(boot);
    EXPECT_EQ(boot->getModuleVersion(), 6);
}

TEST_F(Proxy, FailuresAreJsonRpcErrors)
{
    expectFailure([this] { proxy.writeDataStore(); }, QStringLiteral("Datastore is empty"));
    EXPECT_TRUE(dmx.sent.isEmpty());

    unsigned char version = 0;
    unsigned short processor = 0;
    expectFailure([&] { proxy.readDeviceInfo(version, processor, 0); },
        QStringLiteral("Failed to read microchip device information. error -11"));

    // The checksum check looks only at the low six bits of byte 5 and byte 6.
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(extendedAnswer(0x40, 0x00, 0)));
    proxy.sendCheckChecksum(3);
    for (auto [b5, b6] : {std::pair {0x01, 0x00}, std::pair {0x00, 0x01}}) {
        dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(extendedAnswer(b5, b6, 0)));
        expectFailure([this] { proxy.sendCheckChecksum(3); }, QStringLiteral("Incorrect checksum"));
    }

    dmx.replies.push_back(ScriptedDmxInterface::Reply::failure(core::ITF_ERR_TRANSFER));
    expectFailure([this] { proxy.sendStartApp(); },
        QStringLiteral("Failed to send bootloader dmx command BOOT LOADER"));

    int count = 0;
    int retries = 0;
    expectFailure([&] { proxy.writeRows({QStringLiteral("0780")}, count, retries, 0); },
        QStringLiteral("Failed to write firmware rows. error -51"));
}

// The mode forwarders need a target that controls the bootloader mode.
TEST(ProxyModeControl, UnsupportedWithoutModeControl)
{
    core::NetworkInterface plain(core::ITF_TYPE_DMX);
    itf::BootloaderProxy proxy(
        &plain, new test::FakeBootloader, new itf::BootloaderStateMachine(new itf::BootloaderStateFactory()));
    bool entered = false;
    int elapsed = 7;
    EXPECT_EQ(proxy.startBootloader(3000, entered, elapsed), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(proxy.sendBootloaderSpam(3000, entered, elapsed), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_FALSE(entered);
    EXPECT_EQ(elapsed, 7);

    ScriptedDmxInterface dmx;
    itf::BootloaderProxy dmxProxy(
        &dmx, new test::FakeBootloader, new itf::BootloaderStateMachine(new itf::BootloaderStateFactory()));
    EXPECT_EQ(dmxProxy.sendBootloaderSpam(3000, entered, elapsed), core::ITF_ERR_UNSUPPORTED_FEATURE);
    // The plain start sets entered before it sends the prime unlock.
    EXPECT_EQ(dmxProxy.startBootloader(3000, entered, elapsed), core::ITF_ERR_NO_REPLY);
    EXPECT_TRUE(entered);
}
