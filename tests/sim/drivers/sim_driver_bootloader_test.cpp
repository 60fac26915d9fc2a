#include "../sim_test_support.h"

#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_driver.h"
#include "sim_bench.h"

using namespace tarvesk;
using sim::SimDriverBootloader;

namespace {

QByteArray frame(std::initializer_list<int> bytes)
{
    QByteArray f;
    quint8 sum = 0;
    for (int b : bytes) {
        f.append(char(b));
        sum = quint8(sum + b);
    }
    f.append(char(sum));
    return f;
}

QByteArray readRow(int address)
{
    return frame({0xD0, 0x18, 0x00, 0x00, 0xFE, address >> 8, address & 0xFF, 0x00});
}

// The word i of a row-read answer: low byte first from byte 8.
int wordOf(const QByteArray& answer, int i)
{
    return quint8(answer.at(8 + 2 * i)) | quint8(answer.at(9 + 2 * i)) << 8;
}

sim::SimBootloaderConfig config()
{
    sim::SimBootloaderConfig c;
    c.deviceId = 0x3090;
    c.version = 6;
    c.modules = {{0, 3, 1, 5, 512}, {7, 2, 4, 2, 2048}};
    c.words = {{1928, 276}};
    return c;
}

} // namespace

// The driver's bootloader, byte for byte: row reads low byte first, writes
// high byte first, the page-information records of the module headers, the
// page count, hardware information, checksum, erase and the application start.
TEST(SimDriverBootloader, FramesOfItsBootloader)
{
    sim::SimWystrelDriver driver;
    driver.core().setBootloader(config());
    EXPECT_FALSE(driver.dmxFrame(readRow(0x8000))) << "the application does not answer bootloader frames";
    driver.core().restart();

    const auto info = driver.dmxFrame(readRow(0x8000));
    ASSERT_TRUE(info);
    ASSERT_EQ(info->size(), 74);
    EXPECT_EQ(quint8(info->at(1)), 0x98);
    EXPECT_EQ(quint8(info->at(7)), 6);
    EXPECT_EQ(wordOf(*info, 6), 0x3090);
    EXPECT_TRUE(sim::simWystrelChecksumValid(*info));
    const auto datastore = driver.dmxFrame(readRow(0x788)); // low five bits dropped: row 0x780
    ASSERT_TRUE(datastore);
    EXPECT_EQ(wordOf(*datastore, 8), 276);

    // Module 7 at slot 8: id 7, size 2 (bits 8-10: 1); version 2, subversion 4; byte 7 the core's.
    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x03, 0x08, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0x07, 0x01, 3}));
    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x04, 0x08, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0x02, 0x04, 1}));
    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x03, 0x0A, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0xFF, 0x3F, 3}))
        << "an empty slot";
    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x01, 0xFC, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0x07, 0x08, 0x00}));
    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x01, 0xFE, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0x23, 0x01, 0x45}));
    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x02, 0x08, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0, 0, 0}))
        << "every module sums to 0";
    EXPECT_FALSE(driver.dmxFrame(frame({0xD0, 0x18, 0, 4, 0xFE, 0x80, 0x00, 0}))) << "device address 4";

    // A row written high byte first reads back low byte first.
    QByteArray write;
    for (int b : {0xD0, 0x18, 0, 0, 0xFF, 0x08, 0x20})
        write.append(char(b));
    for (int i = 0; i < 32; ++i) {
        write.append(char(0x12));
        write.append(char(i));
    }
    write.append('\0');
    write.append('\0');
    sim::simWystrelChecksum(write);
    EXPECT_EQ(driver.dmxFrame(write), frame({0xD0, 0x98, 0, 0, 0xFF, 0x08, 0x20, 0}));
    const auto back = driver.dmxFrame(readRow(0x820));
    ASSERT_TRUE(back);
    EXPECT_EQ(wordOf(*back, 5), 0x1205);
    // An unaligned write is refused (status 1) and changes nothing.
    write[6] = char(0x21);
    sim::simWystrelChecksum(write);
    EXPECT_EQ(driver.dmxFrame(write), frame({0xD0, 0x98, 0, 0, 0xFF, 0x08, 0x21, 1}));

    EXPECT_EQ(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x02, 0x21, 0})),
        frame({0xD0, 0x98, 0, 0, 0xFD, 0, 0, 0}));
    EXPECT_EQ(driver.core().bootloader().word(2048), SimDriverBootloader::ErasedWord);

    EXPECT_FALSE(driver.dmxFrame(frame({0xD0, 0x18, 0, 0, 0xFD, 0x01, 0xFF, 0})));
    EXPECT_FALSE(driver.core().inBootloader());
    EXPECT_EQ(driver.core().applicationStarts(), 1);
}

// The checksum answer names a module whose words no longer sum to 0.
TEST(SimDriverBootloader, ChecksumOfABrokenModule)
{
    SimDriverBootloader bootloader(config());
    bootloader.setWord(2048 + 100, quint16(bootloader.word(2048 + 100) + 5));
    bool start = false;
    const auto answer = bootloader.command(frame({0xD0, 0x18, 0, 0, 0xFD, 0x02, 0x08, 0}), nullptr, start);
    ASSERT_TRUE(answer);
    EXPECT_EQ((quint8(answer->at(5)) & 0x3F) << 8 | quint8(answer->at(6)), 5);
}

// With an idle time-out the bootloader starts the application once that long
// passed without a bootloader frame; each frame restarts the wait.
TEST(SimDriverBootloader, IdleTimeOut)
{
    sim::SimBootloaderConfig c = config();
    c.idleTimeoutMs = 500;
    sim::SimWystrelDriver driver;
    driver.core().setBootloader(c);
    qint64 now = 0;
    driver.core().setClock([&now] { return now; });
    driver.core().restart();
    now = 400;
    EXPECT_TRUE(driver.dmxFrame(readRow(0x780)));
    now = 900;
    EXPECT_TRUE(driver.core().inBootloader());
    now = 901;
    EXPECT_FALSE(driver.core().inBootloader());
    EXPECT_FALSE(driver.dmxFrame(readRow(0x780)));
    EXPECT_EQ(driver.core().applicationStarts(), 1);
}

// The box's bootloader report acts on the driver on its Dorvane port: spam
// and status from firmware 18, start and stop from 20; older boxes refuse it.
TEST(SimBoxBootloaderReport, ByFirmware)
{
    for (int firmware : {16, 18, 20}) {
        SCOPED_TRACE(firmware);
        sim::SimBoxConfig boxConfig;
        boxConfig.firmwareVersion = quint8(firmware);
        test::SimHost host(boxConfig);
        host.box->setRegister(48, 2); // dv1_device
        auto driver = std::make_shared<sim::SimDorvaneDriver>();
        driver->core().setBootloader(config());
        host.box->addBusModel(driver);

        const QByteArray spam = QByteArray::fromHex("1701000201f4"); // 2 units
        const QByteArray status = QByteArray::fromHex("1702000001f4");
        const QByteArray start = QByteArray::fromHex("1703006401f4");
        const QByteArray stop = QByteArray::fromHex("1704000001f4");
        QByteArray reply = host.exchange(spam);
        ASSERT_EQ(reply.size(), 64);
        if (firmware < 18) {
            EXPECT_EQ(quint8(reply.at(0)), 0x80 | 0x40 | 0x17);
            continue;
        }
        EXPECT_EQ(quint8(reply.at(0)), 0x97);
        // The driver stays in its application: the wait times out after its time.
        const int unit = firmware >= 20 ? 3 : 12;
        const int probes = (2 * unit + 11) / 12;
        for (int i = 0; i < probes - 1; ++i)
            EXPECT_EQ(host.exchange(status).at(2), 1);
        EXPECT_EQ(host.exchange(status).at(2), 3);

        // A restarted driver is caught by the next spam.
        driver->core().restart();
        host.exchange(spam);
        reply = host.exchange(status);
        EXPECT_EQ(reply.at(2), 2);
        EXPECT_EQ(reply.at(11), 1);

        reply = host.exchange(stop);
        if (firmware < 20) {
            EXPECT_EQ(quint8(reply.at(0)) & 0x40, 0x40) << "stop needs firmware 20";
            EXPECT_EQ(quint8(host.exchange(start).at(0)) & 0x40, 0x40) << "start needs firmware 20";
            continue;
        }
        EXPECT_FALSE(driver->core().inBootloader());
        host.exchange(start);
        EXPECT_TRUE(driver->core().inBootloader());
        EXPECT_EQ(host.exchange(status).at(2), 2);
        EXPECT_EQ(driver->core().primeUnlocks(), 1);
    }
}

// The default bench's drivers carry a bootloader with modules and datastore words.
TEST(SimDriverBootloaderBench, DefaultBenchAndRefusals)
{
    const char* dir = std::getenv("QM_SOURCE_DIR");
    ASSERT_TRUE(dir);
    QString error;
    const auto libUsb = sim::SimBench::loadFile(
        QString::fromLocal8Bit(dir) + QStringLiteral("/sim/benches/default.json"), &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    const auto box = libUsb->boxes().front();
    auto* wystrel = dynamic_cast<sim::SimWystrelDriver*>(box->busModel(sim::SimBusModel::Dmx, 0).get());
    auto* dorvane = dynamic_cast<sim::SimDorvaneDriver*>(box->busModel(sim::SimBusModel::Dorvane, 0).get());
    ASSERT_TRUE(wystrel && dorvane);
    for (sim::SimDriverCore* core : {&wystrel->core(), &dorvane->core()}) {
        EXPECT_EQ(core->bootloader().word(0x8006), 0x302B);
        EXPECT_EQ(core->bootloader().word(2048), 7 | 1 << 8) << "module 7, two slots";
        EXPECT_EQ(core->bootloader().word(1928), 276);
        EXPECT_FALSE(core->inBootloader());
    }

    struct Case
    {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "bootloader": {"modules": [{"id": 1, "start": 100}]}}]}]})",
            "a module must start on a slot"},
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "bootloader": {"pages": 8}}]}]})",
            "unknown key \"pages\""},
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "bootloader": {"words": {"20000": 1}}}]}]})",
            "neither program flash nor a configuration row"},
        {R"({"boxes": [{"dorvane": [{"model": "dorvane_driver", "faults": {"unplug_after_rows": -1}}]}]})",
            "\"faults\": \"unplug_after_rows\""},
    };
    for (const Case& c : cases) {
        QString reason;
        EXPECT_FALSE(sim::SimBench::loadJson(c.json, &reason)) << c.json;
        EXPECT_TRUE(reason.contains(QString::fromLatin1(c.error)))
            << c.json << " -> " << reason.toStdString();
    }
}
