#include "sim_bootloader_fixture.h"

#include "core/firmware_module.h"
#include "core/parameters/datastore/data_store.h"
#include "interfaces/bootloader/bootloader_state_machine.h"
#include "interfaces/bootloader/usb_vandrel_bootloader.h"
#include "log_capture.h"
#include "service/json_rpc_exception.h"

#include <gtest/gtest.h>

using namespace tarvesk;
using itf::BootloaderState;

namespace {

enum class Side { Dmx, Dorvane };

struct Bench
{
    int firmware;
    Side side;
};

std::string benchName(const ::testing::TestParamInfo<Bench>& info)
{
    return "firmware" + std::to_string(info.param.firmware)
        + (info.param.side == Side::Dmx ? "_dmx" : "_dorvane");
}

// A sample module of one slot (id 9, version 1.2) in page 3, as an image
// with its checksum word, and its rows as compact row texts.
struct SampleModule
{
    static constexpr int Start = 3 * 2048;
    static constexpr int Words = 256;
    core::Firmware image;
    QStringList rows;

    SampleModule()
    {
        int sum = 0;
        for (int i = 0; i < Words - 1; ++i) {
            const int word = i == 0 ? 9 : i == 1 ? (1 | 2 << 8) : (i * 37 + 5) & 0x3FFF;
            image.setWord(Start + i, word);
            sum += word;
        }
        image.setWord(Start + Words - 1, (0x4000 - (sum & 0x3FFF)) & 0x3FFF);
        for (int row = Start / 32; row < (Start + Words) / 32; ++row)
            rows << image.getRowHexString(row, false);
    }
};

class BootloaderEndToEnd : public test::SimBootloaderFixture, public ::testing::WithParamInterface<Bench>
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openBench(GetParam().firmware));
        target
            = GetParam().side == Side::Dmx ? static_cast<core::NetworkInterface*>(dmx.get()) : dorvane.get();
        proxy = proxyOf(target);
        ASSERT_TRUE(proxy);
        driver = GetParam().side == Side::Dmx ? &dmxDriver()->core() : &dorvaneDriver()->core();
    }

    void enter()
    {
        if (target->hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS)) {
            bool entered = false;
            int elapsed = 0;
            ASSERT_EQ(proxy->startBootloader(3000, entered, elapsed), core::ITF_OK);
            EXPECT_TRUE(entered);
        } else {
            proxy->getBootloaderStateMachine()->startBootloader();
        }
        ASSERT_TRUE(driver->inBootloader());
        EXPECT_EQ(
            proxy->getBootloaderStateMachine()->getState()->getState(), BootloaderState::STATE_MODE_ACTIVE);
    }

    // A spam through the box finds the driver still in its bootloader (Dorvane
    // side of a box with the bootloader report).
    void expectBoxReportsReachTheDriver()
    {
        auto* boxAssisted = qobject_cast<itf::UsbVandrelLegacyBootloader*>(proxy->getBootloaderInterface());
        if (!boxAssisted || GetParam().side != Side::Dorvane)
            return;
        test::ManualBootloaderClock clock;
        boxAssisted->setClock(&clock);
        bool entered = false;
        int elapsed = 0;
        EXPECT_EQ(proxy->sendBootloaderSpam(120, entered, elapsed), core::ITF_OK);
        EXPECT_TRUE(entered);
        boxAssisted->setClock(nullptr);
    }

    // Words of the module in the proxy's buffer that differ from the sample.
    int differingRows(const SampleModule& sample)
    {
        int rows = 0;
        for (int row = SampleModule::Start / 32; row < (SampleModule::Start + SampleModule::Words) / 32;
             ++row)
            rows += proxy->getInterfaceFirmwareBuffer().isRowEqual(row, &sample.image) ? 0 : 1;
        return rows;
    }

    core::NetworkInterface* target = nullptr;
    itf::BootloaderProxy* proxy = nullptr;
    sim::SimDriverCore* driver = nullptr;
};

} // namespace

// Each class of bootloader, on each side of the box: enter, search the
// modules, read the datastore, write a module, read it back, start the application.
TEST_P(BootloaderEndToEnd, EnterSearchReadWriteAndStart)
{
    itf::IBootloader* bootloader = proxy->getBootloaderInterface();
    const int firmware = GetParam().firmware;
    EXPECT_EQ(qobject_cast<itf::UsbVandrelBootloader*>(bootloader) != nullptr, firmware >= 20);
    EXPECT_EQ(qobject_cast<itf::UsbVandrelLegacyBootloader*>(bootloader) != nullptr, firmware >= 18);
    EXPECT_EQ(target->hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS),
        firmware >= 20 && GetParam().side == Side::Dorvane);
    ASSERT_NO_FATAL_FAILURE(enter());

    unsigned char version = 0;
    unsigned short processor = 0;
    proxy->searchModules(version, processor, 0);
    EXPECT_EQ(version, 5);
    EXPECT_EQ(processor, 4) << "device id 0x302B";
    core::Firmware& buffer = proxy->getInterfaceFirmwareBuffer();
    QList<core::FirmwareModule*> modules;
    buffer.getModuleList(modules);
    QStringList found;
    for (const core::FirmwareModule* m : modules)
        found << QStringLiteral("%1 v%2.%3 s%4 @%5")
                     .arg(m->getModuleId())
                     .arg(m->getModuleVersion())
                     .arg(m->getModuleSubversion())
                     .arg(m->getModuleSize())
                     .arg(m->getStartAddress());
    EXPECT_EQ(found,
        (QStringList {"999 v5.0 s2 @0", "998 v1.0 s2 @15872", "12 v1.0 s1 @4096", "7 v2.4 s2 @2048",
            "0 v3.1 s6 @512"}));

    proxy->readDataStore(version, processor);
    EXPECT_EQ(buffer.getWord(1928), 276);
    EXPECT_EQ(buffer.getWord(1931), 0x123);
    EXPECT_EQ(buffer.getWord(2047), 77);
    EXPECT_EQ(buffer.getUnsignedWord(0x8006), 0x302B);
    buffer.getDataStore()->convertMemoryMapToParameterValues();
    EXPECT_TRUE(buffer.getDataStore()->isInitialized());

    const SampleModule sample;
    int count = 0;
    int retries = 0;
    proxy->writeRows(sample.rows, count, retries, 0);
    for (int i = 0; i < SampleModule::Words; ++i)
        ASSERT_EQ(
            driver->bootloader().word(SampleModule::Start + i), sample.image.getWord(SampleModule::Start + i))
            << "flash word " << SampleModule::Start + i;
    proxy->readRows(SampleModule::Start, SampleModule::Start + SampleModule::Words - 1);
    EXPECT_EQ(differingRows(sample), 0);
    proxy->sendCheckChecksum(4);

    // The datastore goes back as it was read.
    proxy->writeDataStore();
    EXPECT_EQ(driver->bootloader().word(1928), 276);

    EXPECT_EQ(proxy->sendStartApp(), core::ITF_OK);
    EXPECT_FALSE(driver->inBootloader());
    EXPECT_EQ(driver->applicationStarts(), 1);
}

// An upload on a line that loses or spoils answers, or a driver that does not
// program a row: each ends with the right counts or a clear failure.
TEST_P(BootloaderEndToEnd, UploadFaults)
{
    ASSERT_NO_FATAL_FAILURE(enter());
    sim::SimDriverFaults& faults
        = GetParam().side == Side::Dmx ? dmxDriver()->faults() : dorvaneDriver()->faults();
    const SampleModule sample;
    const int rows = sample.rows.size();
    int count = 0;
    int retries = 0;

    // A dropped answer and a bad checksum: the row goes out again and takes.
    faults.silent = 1;
    faults.badChecksum = 1;
    proxy->writeRows(sample.rows, count, retries, 0);
    EXPECT_EQ(driver->bootloader().rowsWritten(), rows + 2);
    EXPECT_EQ(retries, 2) << "each spoiled answer cost its row one retry";
    proxy->readRows(SampleModule::Start, SampleModule::Start + SampleModule::Words - 1);
    EXPECT_EQ(differingRows(sample), 0);

    // A row that was not programmed shows in the read-back.
    SampleModule changed;
    for (int i = 2; i < SampleModule::Words - 1; ++i)
        changed.image.setWord(
            SampleModule::Start + i, (changed.image.getWord(SampleModule::Start + i) + 1) & 0x3FFF);
    changed.rows.clear();
    for (int row = SampleModule::Start / 32; row < (SampleModule::Start + SampleModule::Words) / 32; ++row)
        changed.rows << changed.image.getRowHexString(row, false);
    faults.rowNotProgrammed = 1;
    test::LogCapture log;
    proxy->writeRows(changed.rows, count, retries, 0);
    proxy->readRows(SampleModule::Start, SampleModule::Start + SampleModule::Words - 1);
    EXPECT_EQ(differingRows(changed), 1);

    // The box's own reports reach the driver before the cable is pulled.
    expectBoxReportsReachTheDriver();

    // The cable is pulled after the third row: a clear failure, three rows written.
    const int before = driver->bootloader().rowsWritten();
    faults.unplugAfterRows = 3;
    try {
        proxy->writeRows(sample.rows, count, retries, 0);
        ADD_FAILURE() << "an upload through a pulled cable succeeded";
    } catch (const JsonRpcException& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Failed to write firmware rows. error ")))
            << e.message().toStdString();
    }
    EXPECT_EQ(driver->bootloader().rowsWritten(), before + 3);

    // Plugged in again, the box has a new handle, and the upload reaches it.
    ASSERT_NO_FATAL_FAILURE(reconnect());
    proxy->writeRows(sample.rows, count, retries, 0);
    proxy->readRows(SampleModule::Start, SampleModule::Start + SampleModule::Words - 1);
    EXPECT_EQ(differingRows(sample), 0);
    // So do the box's own bootloader reports.
    expectBoxReportsReachTheDriver();
}

INSTANTIATE_TEST_SUITE_P(Classes, BootloaderEndToEnd,
    ::testing::Values(Bench {16, Side::Dmx}, Bench {16, Side::Dorvane}, Bench {18, Side::Dmx},
        Bench {18, Side::Dorvane}, Bench {21, Side::Dmx}, Bench {21, Side::Dorvane}),
    benchName);

namespace {

class BootloaderSpam : public test::SimBootloaderFixture
{
protected:
    void openSpam(int firmware)
    {
        ASSERT_NO_FATAL_FAILURE(openBench(firmware));
        proxy = proxyOf(dorvane.get());
        ASSERT_TRUE(proxy);
        auto* bootloader = qobject_cast<itf::WystrelBootloader*>(proxy->getBootloaderInterface());
        ASSERT_TRUE(bootloader);
        bootloader->setClock(&clock);
        proxy->getBootloaderStateMachine()->setClock(&clock);
        test::recordMachine(*proxy->getBootloaderStateMachine(), events);
    }

    test::ManualBootloaderClock clock;
    itf::BootloaderProxy* proxy = nullptr;
    QStringList events;
};

} // namespace

// The spam catches a driver restarted by its user: the box repeats the probe
// (firmware 18 in 12 ms units, 20 on in 3 ms units), the plain protocol
// repeats it itself. Two probes go unanswered before the bootloader answers.
TEST_F(BootloaderSpam, CatchesARestartedDriverOnEachClass)
{
    for (int firmware : {16, 18, 21}) {
        SCOPED_TRACE(firmware);
        ASSERT_NO_FATAL_FAILURE(openSpam(firmware));
        sim::SimDriverCore& core = dorvaneDriver()->core();
        core.restart();
        dorvaneDriver()->faults().silent = firmware == 16 ? 0 : 2;
        bool entered = false;
        int elapsed = 0;
        EXPECT_EQ(proxy->sendBootloaderSpam(3000, entered, elapsed), core::ITF_OK);
        EXPECT_TRUE(entered);
        EXPECT_EQ(elapsed, firmware == 16 ? 0 : 24) << "two probes of 12 ms";
        if (firmware >= 18) {
            // The box's report: the spam proves the bootloader with the spam time as extra time.
            EXPECT_EQ(events, (QStringList {"MODE_ACTIVE", "succeeded"}));
            EXPECT_EQ(box->callCount(sim::SimCall::BulkOut) > 0, true);
        }
        EXPECT_EQ(dmx->getBootloader() != nullptr, true);
        events.clear();
        dorvane.reset();
        dmx.reset();
        stopMonitor();
        closeHandle();
        device.reset();
        universe.reset();
    }
}

// A driver that never restarts: the box's wait times out (entered false,
// elapsed -1, status 0); a box stuck in its wait is a failure by the host's
// deadline, not a hang.
TEST_F(BootloaderSpam, TimeOutAndStuckBox)
{
    for (int firmware : {18, 21}) {
        SCOPED_TRACE(firmware);
        ASSERT_NO_FATAL_FAILURE(openSpam(firmware));
        bool entered = true;
        int elapsed = 0;
        EXPECT_EQ(proxy->sendBootloaderSpam(120, entered, elapsed), core::ITF_OK);
        EXPECT_FALSE(entered);
        EXPECT_EQ(elapsed, -1);
        EXPECT_TRUE(events.isEmpty());

        box->editFaults([](sim::SimFaults& f) { f.setBootloaderWaitStuck(true); });
        test::LogCapture log;
        const qint64 started = clock.now;
        EXPECT_EQ(proxy->sendBootloaderSpam(3000, entered, elapsed), core::ITF_ERR_TIMEOUT);
        EXPECT_FALSE(entered);
        EXPECT_EQ(elapsed, -1);
        EXPECT_GE(clock.now - started, 3000);
        EXPECT_LE(clock.now - started, 3000 + 200 + itf::UsbVandrelLegacyBootloader::DeadlineMarginMs + 20);
        EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("did not end its bootloader wait")));
        if (firmware >= 20) {
            // Starting through a stuck box fails the same way, and the entry gives up.
            proxy->getBootloaderStateMachine()->startBootloader();
            EXPECT_EQ(proxy->getBootloaderStateMachine()->getState()->getState(),
                BootloaderState::STATE_MODE_INACTIVE);
        }
        events.clear();
        dorvane.reset();
        dmx.reset();
        stopMonitor();
        closeHandle();
        device.reset();
        universe.reset();
    }
}

// Firmware 20 on: the box starts the driver's bootloader itself and stops it;
// stopping ends the active mode.
TEST_F(BootloaderSpam, BoxStartsAndStopsTheBootloader)
{
    ASSERT_NO_FATAL_FAILURE(openSpam(21));
    sim::SimDriverCore& core = dorvaneDriver()->core();
    proxy->getBootloaderStateMachine()->startBootloader();
    EXPECT_TRUE(core.inBootloader());
    EXPECT_EQ(events.last(), QStringLiteral("succeeded"));
    events.clear();
    clock.sleeps.clear();
    EXPECT_EQ(proxy->getBootloaderInterface()->stopBootloaderMode(), core::ITF_OK);
    EXPECT_FALSE(core.inBootloader());
    EXPECT_EQ(clock.sleeps, std::vector<int> {42});
    EXPECT_EQ(events, (QStringList {"MODE_INACTIVE", "failed"}));
}
