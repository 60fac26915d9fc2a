// The firmware methods over HTTP against the service on the default simulated
// bench (in this process, so that the test can pull the box's cable or make a
// driver misbehave): module upload and read-back, the single bootloader
// functions, the spam, the module lists of a driver and of the firmware cache,
// and the ping.

#include "drivers/sim_driver_core.h"
#include "drivers/sim_driver_faults.h"
#include "firmware_service.h"
#include "log_capture.h"
#include "service/rpc/rpc_methods/device/rpc_device_firmware_bl_spam.h"
#include "sim_vandrel_box.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStringList>

#include <gtest/gtest.h>

using namespace tarvesk;
using tarvesk::test::FirmwareService;
using tarvesk::test::RpcAnswer;

namespace {

constexpr int FlashWords = 8 * 2048;

// The words of module text, by address, read straight from the text: each
// line a 4-digit word address and 32 words of 4 hexadecimal digits.
QMap<int, int> moduleWords(const QByteArray& text)
{
    QMap<int, int> words;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.size() < 4 + 32 * 4)
            continue;
        const int address = line.left(4).toInt(nullptr, 16);
        for (int i = 0; i < 32; ++i)
            words.insert(address + i, line.mid(4 + 4 * i, 4).toInt(nullptr, 16));
    }
    return words;
}

// One line of module text: the row's address and its 32 words, word i = first + i.
QString moduleLine(int address, int first)
{
    QString line = QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper();
    for (int i = 0; i < 32; ++i)
        line += QStringLiteral("%1").arg((first + i) & 0x3FFF, 4, 16, QLatin1Char('0')).toUpper();
    return line + QLatin1Char('\n');
}

int lineCount(const QByteArray& text)
{
    return moduleWords(text).size() / 32;
}

std::string text(const RpcAnswer& answer)
{
    return answer.ok() ? QJsonDocument::fromVariant(answer.result.toVariant()).toJson().toStdString()
                       : answer.message.toStdString();
}

// Everything of a driver's flash a method could change: program words,
// configuration rows and the number of rows written.
QVector<int> flashOf(sim::SimDriverCore& driver)
{
    QVector<int> words;
    for (int address = 0; address < FlashWords; ++address)
        words.append(driver.bootloader().word(address));
    for (int address = 0x8000; address < 0x8040; ++address)
        words.append(driver.bootloader().word(address));
    words.append(driver.bootloader().rowsWritten());
    return words;
}

class FirmwareMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(service.start(&error)) << error.toStdString();
        ASSERT_TRUE(service.searchBoxes());
        ASSERT_TRUE(service.searchDrivers());
    }

    RpcAnswer call(const QString& method, const QJsonObject& params = QJsonObject())
    {
        return service.call(method, params);
    }

    // "device.firmware.rawparam.get" over first..last through the box's bus.
    QJsonArray flashWords(const QString& bus, int first, int last)
    {
        const RpcAnswer answer = call("device.firmware.rawparam.get",
            {{"device_id", service.boxId}, {"interface_type", bus},
                {"address_range", QJsonObject {{"start_address", first}, {"end_address", last}}}});
        EXPECT_TRUE(answer.ok()) << text(answer);
        EXPECT_EQ(answer.result.toObject().value("status").toString(), "ok");
        return answer.result.toObject().value("bytes").toArray();
    }

    FirmwareService service;
};

} // namespace

// A sample module as text through the Dorvane port and by its cache name
// through the DMX line: each lands whole in the driver's flash, and
// "device.firmware.rawparam.get" gives its words back.
TEST_F(FirmwareMethods, UploadsAModuleAsTextAndFromTheCacheAndReadsItBack)
{
    const QByteArray first = FirmwareService::sampleModule("i001v00203s001.hex");
    const QByteArray second = FirmwareService::sampleModule("i003v00105s001.hex");
    ASSERT_FALSE(first.isEmpty());
    const struct
    {
        const char* name;
        QString bus;
        QJsonObject module;
        QByteArray text;
        sim::SimDriverCore& driver;
    } uploads[] = {
        {"text over dorvane", "dorvane", {{"firmware", QString::fromLatin1(first)}}, first,
            service.dorvaneDriver()},
        {"cache over dmx", "dmx", {{"firmware_db_file", "data/firmware_mods/i003v00105S001.HEX"}}, second,
            service.dmxDriver()},
    };
    for (const auto& u : uploads) {
        QJsonObject params = u.module;
        params.insert("device_id", service.boxId);
        params.insert("interface_type", u.bus);
        const RpcAnswer answer = call("device.firmware.upload", params);
        ASSERT_TRUE(answer.ok()) << u.name << ": " << text(answer);
        // Every line, and the row that keeps the slot harmless.
        EXPECT_EQ(answer.result.toObject(),
            (QJsonObject {{"missed_writes", 0}, {"correct_writes", lineCount(u.text) + 1}, {"status", "ok"}}))
            << u.name;

        const QMap<int, int> words = moduleWords(u.text);
        const QJsonArray read = flashWords(u.bus, words.firstKey(), words.lastKey());
        ASSERT_EQ(read.size(), words.size()) << u.name;
        int k = 0;
        for (auto it = words.begin(); it != words.end(); ++it, ++k) {
            ASSERT_EQ(read[k].toInt(), it.value()) << u.name << " word " << it.key();
            ASSERT_EQ(u.driver.bootloader().word(it.key()), it.value()) << u.name << " word " << it.key();
        }
    }
}

// The bus is reached through the box (its child universe of that type), or
// through a driver (the universe it sits on); without either parameter,
// device 1 (the box) and its Dorvane port. The datastore word 1928 tells the
// drivers apart.
TEST_F(FirmwareMethods, ReachesTheDriverThroughTheBoxOrTheDriverItself)
{
    service.dmxDriver().bootloader().setWord(1928, 1111);
    service.dorvaneDriver().bootloader().setWord(1928, 2222);
    const QJsonObject range {{"start_address", 1928}, {"end_address", 1927}};
    ASSERT_EQ(service.boxId, 1);
    const struct
    {
        QJsonObject params;
        int word;
    } cases[] = {
        {{}, 2222},
        {{{"device_id", service.boxId}, {"interface_type", "dmx"}}, 1111},
        {{{"device_id", service.dmxDriverId}, {"interface_type", "dmx"}}, 1111},
        {{{"device_id", service.dorvaneDriverId}}, 2222},
    };
    for (const auto& c : cases) {
        QJsonObject params = c.params;
        params.insert("address_range", range);
        const RpcAnswer answer = call("device.firmware.rawparam.get", params);
        EXPECT_EQ(answer.result.toObject(), (QJsonObject {{"status", "ok"}, {"bytes", QJsonArray {c.word}}}))
            << QJsonDocument(c.params).toJson().toStdString() << text(answer);
    }
}

// With "skip_datastore" the four datastore rows of a module stay as they were;
// without it they are written.
TEST_F(FirmwareMethods, SkipDatastoreLeavesTheDatastoreRowsAlone)
{
    QString module;
    for (int row : {0x760, 0x780, 0x7A0, 0x7C0, 0x7E0}) {
        module += QStringLiteral("%1").arg(row, 4, 16, QLatin1Char('0')).toUpper();
        for (int i = 0; i < 32; ++i)
            module += QStringLiteral("%1").arg((row + i) & 0x3FFF, 4, 16, QLatin1Char('0')).toUpper();
        module += QLatin1Char('\n');
    }
    sim::SimDriverCore& driver = service.dorvaneDriver();
    const quint16 datastoreWord = driver.bootloader().word(1928);
    const struct
    {
        bool skip;
        int correctWrites;
        int word1928;
    } cases[] = {{true, 1, datastoreWord}, {false, 5, 1928}};
    for (const auto& c : cases) {
        const RpcAnswer answer = call("device.firmware.upload",
            {{"device_id", service.boxId}, {"firmware", module}, {"skip_datastore", c.skip}});
        ASSERT_TRUE(answer.ok()) << text(answer);
        EXPECT_EQ(answer.result.toObject().value("correct_writes").toInt(), c.correctWrites) << c.skip;
        EXPECT_EQ(driver.bootloader().word(0x760 + 5), 0x765) << c.skip;
        EXPECT_EQ(driver.bootloader().word(1928), c.word1928) << c.skip;
    }
}

// A row the bootloader took but the flash does not hold fails the upload
// with the count; the next upload puts it right. (The first row written is
// the slot's harmless row, which the module's first line replaces anyway;
// the second is the module's last line.)
TEST_F(FirmwareMethods, ARowTheFlashDidNotTakeFailsTheUpload)
{
    const QJsonObject params {{"device_id", service.boxId}, {"firmware_db_file", "i001v00203s001.hex"}};
    service.dorvaneFaults().rowNotProgrammed = 2;
    const RpcAnswer failed = call("device.firmware.upload", params);
    EXPECT_EQ(failed.code, -32603);
    EXPECT_TRUE(failed.message.contains("missed_writes:          1")) << failed.message.toStdString();

    const RpcAnswer retried = call("device.firmware.upload", params);
    ASSERT_TRUE(retried.ok()) << text(retried);
    EXPECT_EQ(retried.result.toObject().value("missed_writes").toInt(), 0);
}

// The cable pulled in the middle of an upload: a clear failure; after the box
// is plugged in again and searched, the upload goes through.
TEST_F(FirmwareMethods, AnUploadCutByAnUnplugFailsAndTheNextOneAfterReplugSucceeds)
{
    const QByteArray module = FirmwareService::sampleModule("i001v00203s001.hex");
    service.dorvaneFaults().unplugAfterRows = 3;
    const RpcAnswer cut = call(
        "device.firmware.upload", {{"device_id", service.boxId}, {"firmware", QString::fromLatin1(module)}});
    EXPECT_EQ(cut.code, -32603) << text(cut);
    EXPECT_TRUE(cut.message.contains("Firmware uploading failed")) << cut.message.toStdString();

    service.box()->replug();
    ASSERT_TRUE(service.searchBoxes());
    const RpcAnswer again = call(
        "device.firmware.upload", {{"device_id", service.boxId}, {"firmware", QString::fromLatin1(module)}});
    ASSERT_TRUE(again.ok()) << text(again);
    const QMap<int, int> words = moduleWords(module);
    for (auto it = words.begin(); it != words.end(); ++it)
        ASSERT_EQ(service.dorvaneDriver().bootloader().word(it.key()), it.value()) << it.key();
}

// The driver's modules (those of its flash and the fixed ones the bootloader
// search adds), a module just uploaded among them; the same on the DMX line.
TEST_F(FirmwareMethods, ListsTheModulesOfTheDriver)
{
    const auto ids = [this](const QString& bus) {
        const RpcAnswer answer
            = call("device.firmware.modules.list", {{"device_id", service.boxId}, {"interface_type", bus}});
        EXPECT_TRUE(answer.ok()) << text(answer);
        QList<int> list;
        for (const QJsonValue& module : answer.result.toArray()) {
            EXPECT_EQ(module.toObject().value("device_address").toInt(), 0);
            EXPECT_EQ(module.toObject().value("device_name").toString(), "Presmonde");
            list << module.toObject().value("module_id").toInt();
        }
        return list;
    };
    EXPECT_EQ(ids("dmx"), (QList<int> {999, 998, 12, 7, 0}));
    EXPECT_EQ(ids("dorvane"), (QList<int> {999, 998, 12, 7, 0}));

    ASSERT_TRUE(call(
        "device.firmware.upload", {{"device_id", service.boxId}, {"firmware_db_file", "i001v00203s001.hex"}})
                    .ok());
    EXPECT_EQ(ids("dorvane"), (QList<int> {999, 998, 12, 7, 1, 0}));
}

// The single bootloader functions, each on the driver on the box's Dorvane port.
TEST_F(FirmwareMethods, RunsEachBootloaderFunction)
{
    sim::SimDriverCore& driver = service.dorvaneDriver();
    const auto run = [this](const QString& action, const QJsonObject& extra = QJsonObject()) {
        QJsonObject params = extra;
        params.insert("device_id", service.boxId);
        params.insert("action", action);
        const RpcAnswer answer = call("device.firmware.do", params);
        EXPECT_TRUE(answer.ok()) << action.toStdString() << ": " << text(answer);
        return answer.result;
    };
    const QJsonArray ok {QJsonObject {{"status", "ok"}}};

    EXPECT_EQ(run("start_bl"), ok);
    EXPECT_TRUE(driver.inBootloader());
    EXPECT_EQ(run("read_hw_info"),
        QJsonArray({QJsonObject {
            {"attributes", QJsonObject {{"init_system_info_0", 0x123}, {"init_system_info_1", 0x045}}},
            {"status", "ok"}}}));

    // Page 1 (words 2048..4095) holds module 7; erased, it reads as blank flash.
    ASSERT_NE(driver.bootloader().word(2048), 0x3FFF);
    EXPECT_EQ(run("erase_page", {{"general_input", 1}}), ok);
    for (int address : {2048, 3000, 4095})
        EXPECT_EQ(driver.bootloader().word(address), 0x3FFF) << address;
    EXPECT_EQ(driver.bootloader().word(4096), 12) << "the next page keeps its module";

    EXPECT_EQ(run("start_app"), ok);
    EXPECT_FALSE(driver.inBootloader());
    // The same functions reach the driver on the box's DMX line.
    EXPECT_EQ(run("start_bl", {{"interface_type", "dmx"}}), ok);
    EXPECT_TRUE(service.dmxDriver().inBootloader());
    EXPECT_EQ(run("start_app", {{"interface_type", "dmx"}}), ok);
    EXPECT_FALSE(service.dmxDriver().inBootloader());
    EXPECT_EQ(run("set_p254", {{"general_input", 0x5A}}), ok);

    // The box's status bytes, each as a signed byte.
    service.box()->setStatusBlock(QByteArray("\x01\x80\xFF", 3));
    const QJsonArray status = run("get_status").toObject().value("status").toArray();
    ASSERT_GE(status.size(), 3);
    EXPECT_EQ(QJsonArray({status[0], status[1], status[2]}), (QJsonArray {1, -128, -1}));
}

// The spam reports whether the driver on the Dorvane port answers its
// bootloader within the time: one that runs its application does not (the
// simulated driver does not restart on its own), one in its bootloader does.
TEST_F(FirmwareMethods, BootloaderSpamReportsWhetherTheDriverWasCaught)
{
    const auto spam = [this] {
        const RpcAnswer answer
            = call("device.firmware.blspam", {{"device_id", service.boxId}, {"spamtime", 120}});
        EXPECT_TRUE(answer.ok()) << text(answer);
        return answer.result.toArray().first().toObject();
    };
    const QJsonObject missed = spam();
    EXPECT_EQ(missed, (QJsonObject {{"elapsed_time", -1}, {"entered_bootloader", false}}));

    ASSERT_TRUE(call("device.firmware.do", {{"device_id", service.boxId}, {"action", "start_bl"}}).ok());
    const QJsonObject caught = spam();
    EXPECT_EQ(caught.value("entered_bootloader"), QJsonValue(true));
    EXPECT_GE(caught.value("elapsed_time").toInt(), 0);
    EXPECT_LE(caught.value("elapsed_time").toInt(), 120);
}

// The modules of the firmware cache, listed by what their names say and
// returned as text by any spelling of their name.
TEST_F(FirmwareMethods, ListsAndGetsTheModulesOfTheFirmwareCache)
{
    const RpcAnswer list = call("database.module.list");
    ASSERT_TRUE(list.ok()) << text(list);
    QStringList names;
    for (const QJsonValue& module : list.result.toArray())
        names << module.toObject().value("raw_filename").toString();
    EXPECT_EQ(names, (QStringList {"i001v00203s001.hex", "i003v00105s001.hex", "i005v00100s001p05diag.hex"}));
    const QJsonObject diag = list.result.toArray().last().toObject();
    EXPECT_EQ(diag.value("module_id").toInt(), 5);
    EXPECT_EQ(diag.value("module_version").toInt(), 1);
    EXPECT_EQ(diag.value("module_subversion").toInt(), 0);
    EXPECT_EQ(diag.value("module_size").toInt(), 1);
    EXPECT_EQ(diag.value("comment").toString(), "diag");
    EXPECT_EQ(diag.value("debug_version"), QJsonValue(true));
    EXPECT_EQ(diag.value("module_encryption").toString(), "hex");

    const QString content = QString::fromLatin1(FirmwareService::sampleModule("i003v00105s001.hex"));
    for (const char* name :
        {"i003v00105s001.hex", "data/firmware_mods/i003v00105s001.hex", "I003V00105S001.HEX"}) {
        const RpcAnswer got = call("database.module.get", {{"firmware_db_file", name}});
        EXPECT_EQ(got.result.toString(), content) << name << ": " << text(got);
    }
    service.database->cache.insert("data/firmware_mods/i009v00100s001.hex", QByteArray("3000\0rest", 9));
    EXPECT_EQ(
        call("database.module.get", {{"firmware_db_file", "i009v00100s001.hex"}}).result.toString(), "3000");
}

// A driver that still answers with its product id; the box itself is no driver.
TEST_F(FirmwareMethods, PingsTheDriversAndRefusesTheBox)
{
    for (int id : {service.dmxDriverId, service.dorvaneDriverId}) {
        const RpcAnswer answer = call("device.ping", {{"device_id", id}});
        EXPECT_TRUE(answer.ok()) << id << ": " << text(answer);
        EXPECT_TRUE(answer.result.isNull()) << id;
    }
    const RpcAnswer box = call("device.ping", {{"device_id", service.boxId}});
    EXPECT_EQ(box.code, -32602);
    EXPECT_TRUE(box.message.contains("A ping command can only be executed for drivers, not for vandrels"));
}

// The product-id byte (word 0x3FF9 of these drivers) changed, or no answer at
// all: the DMX driver (product 80) is compared, the Dorvane driver (product 16)
// is one whose answer alone is enough.
TEST_F(FirmwareMethods, PingTellsAChangedOrSilentDriver)
{
    constexpr quint16 ProductIdWord = 0x3FF9;
    service.dmxDriver().setParameter(ProductIdWord, 81);
    const RpcAnswer changed = call("device.ping", {{"device_id", service.dmxDriverId}});
    EXPECT_EQ(changed.code, -32603);
    EXPECT_TRUE(changed.message.contains("product id does not match (previous: 80, current: 81)"))
        << changed.message.toStdString();
    service.dorvaneDriver().setParameter(ProductIdWord, 99);
    EXPECT_TRUE(call("device.ping", {{"device_id", service.dorvaneDriverId}}).ok());

    service.dmxFaults().silent = sim::SimDriverFaults::Forever;
    service.dorvaneFaults().silent = sim::SimDriverFaults::Forever;
    for (int id : {service.dmxDriverId, service.dorvaneDriverId}) {
        const RpcAnswer silent = call("device.ping", {{"device_id", id}});
        EXPECT_EQ(silent.code, -32602) << id;
        EXPECT_TRUE(silent.message.contains(
            QStringLiteral("Device %1 no longer connected, please perform a new device search").arg(id)))
            << silent.message.toStdString();
    }
}

// Requests that must be refused before anything reaches a driver: the code,
// a part of the message, and both drivers' flash as it was.
TEST_F(FirmwareMethods, RefusesBadRequestsWithoutTouchingTheDrivers)
{
    const int box = service.boxId;
    const QString module = QString::fromLatin1(FirmwareService::sampleModule("i001v00203s001.hex"));
    const QJsonObject range {{"start_address", 0x780}, {"end_address", 0x79F}};
    const struct
    {
        const char* method;
        QJsonObject params;
        int code;
        const char* message;
    } cases[] = {
        {"device.firmware.upload", {{"device_id", box}}, -32603,
            "At least one of two parameters ('firmware' or 'firmware_db_file') must be provided"},
        {"device.firmware.upload",
            {{"device_id", box}, {"firmware", module}, {"firmware_db_file", "i001v00203s001.hex"}}, -32603,
            "Only one of two provided parameters ('firmware' or 'firmware_db_file')"},
        {"device.firmware.upload", {{"device_id", box}, {"firmware", module}, {"device_address", 260}},
            -32602, "260 is not a valid value for this parameter.Currently accepted values are: 0, 4."},
        {"device.firmware.upload", {{"device_id", box}, {"firmware", module}, {"device_address", 4.5}},
            -32602, "is not a valid value for this parameter"},
        {"device.firmware.upload", {{"device_id", box}, {"firmware", module}, {"skip_datastore", "yes"}},
            -32602, "skip_datastore must be a boolean"},
        {"device.firmware.upload", {{"device_id", box}, {"firmware_db_file", "I001V00203S001.hex"}}, -32603,
            "'I001V00203S001.hex' Is not a valid firmware filename."},
        {"device.firmware.upload", {{"device_id", box}, {"firmware_db_file", "i042v00100s001.hex"}}, -32603,
            "Error while importing the module from the database"},
        {"device.firmware.upload", {{"device_id", box}, {"firmware", "3000 not module text"}}, -32603,
            "data in file may be corrupted. (parse error)"},
        {"device.firmware.upload", {{"device_id", box}, {"firmware_db_file", "i005v00100s001p05diag.hex"}},
            -32603,
            "Firmware processor type (PIC16F1779) not intended for connected drivers microchip "
            "(PIC16F1788)"},
        {"device.firmware.upload", {{"device_id", 999}, {"firmware", module}}, -32603,
            "Device with 'device_id' 999 not found"},
        {"device.firmware.upload", {{"device_id", box}, {"interface_type", "DMX"}, {"firmware", module}},
            -32603, "Could not access universe of the device with device id"},
        {"device.firmware.do", {{"device_id", box}, {"action", "fly"}}, -32602,
            "Invalid Parameter value action = fly"},
        {"device.firmware.do", {{"device_id", box}, {"action", "erase_page"}}, -32602,
            "Parameter 'general_input' not defined"},
        {"device.firmware.do", {{"device_id", box}, {"action", "erase_page"}, {"general_input", 0}}, -32602,
            "must be a page number from 1 to 15"},
        {"device.firmware.do", {{"device_id", box}, {"action", "erase_page"}, {"general_input", 258}}, -32602,
            "must be a page number from 1 to 15"},
        {"device.firmware.do", {{"device_id", box}, {"action", "erase_page"}, {"general_input", 1.5}}, -32602,
            "must be a page number from 1 to 15"},
        {"device.firmware.do", {{"device_id", box}, {"action", "erase_page"}, {"general_input", "2"}}, -32602,
            "must be a page number from 1 to 15"},
        {"device.firmware.do", {{"device_id", box}, {"action", "set_p254"}}, -32602,
            "Parameter 'general_input' not defined"},
        {"device.firmware.do", {{"device_id", box}, {"action", "set_p254"}, {"general_input", 256}}, -32602,
            "must be a mode from 0 to 255"},
        {"device.firmware.do", {{"device_id", box}, {"action", "set_p254"}, {"general_input", -1}}, -32602,
            "must be a mode from 0 to 255"},
        {"device.firmware.rawparam.get", {{"device_id", box}}, -32602, "Parameter 'address_range' required"},
        {"device.firmware.rawparam.get", {{"device_id", box}, {"address_range", 1920}}, -32602,
            "Parameter 'address_range' must be an object"},
        {"device.firmware.rawparam.get",
            {{"device_id", box}, {"address_range", QJsonObject {{"start_address", 0}}}}, -32602,
            "Parameter 'address_range' must be an object"},
        {"device.firmware.rawparam.get",
            {{"device_id", box},
                {"address_range", QJsonObject {{"start_address", 0x10000}, {"end_address", 0x10001}}}},
            -32602, "from 0 to 65535"},
        {"device.firmware.rawparam.get",
            {{"device_id", box}, {"address_range", QJsonObject {{"start_address", -1}, {"end_address", 3}}}},
            -32602, "from 0 to 65535"},
        {"device.firmware.rawparam.get", {{"device_id", 999}, {"address_range", range}}, -32603,
            "Device with 'device_id' 999 not found"},
        {"device.firmware.blspam", {{"device_id", box}, {"spamtime", -1}}, -32602,
            "Parameter 'spamtime' must be a whole number of milliseconds, not negative"},
        {"device.firmware.blspam", {{"device_id", box}, {"spamtime", "long"}}, -32602,
            "Parameter 'spamtime' must be a whole number"},
        {"device.firmware.modules.list", {{"device_id", box}, {"interface_type", "dali"}}, -32603,
            "No bootloader proxy channel found to communicate with device."},
        {"device.firmware.blspam", {{"device_id", box}, {"interface_type", "dali"}}, -32603,
            "No bootloader proxy channel found to communicate with device."},
        {"device.firmware.do", {{"device_id", box}, {"interface_type", "dali"}, {"action", "start_bl"}},
            -32603, "No bootloader mode control"},
        {"device.firmware.do", {{"device_id", box}, {"interface_type", "dali"}, {"action", "get_status"}},
            -32603, "No bootloader proxy channel found to communicate with device."},
        {"device.ping", {{"device_id", box}}, -32602, "A ping command can only be executed for drivers"},
        {"device.ping", {{"device_id", 999}}, -32603, "Device with id 999 not found"},
        {"device.ping", {}, -32602, "Parameter 'device_id' required"},
        {"database.module.get", {{"firmware_db_file", "i042v00100s001.hex"}}, -32603,
            "Firmware module name (i042v00100s001.hex) not found in fw database"},
        {"database.module.list", {{"firmware_db_file", "x"}}, -32602, "does not accept parameters"},
    };
    const QVector<int> dmxFlash = flashOf(service.dmxDriver());
    const QVector<int> dorvaneFlash = flashOf(service.dorvaneDriver());
    for (const auto& c : cases) {
        const RpcAnswer answer = call(QString::fromLatin1(c.method), c.params);
        const std::string request = std::string(c.method) + " "
            + QJsonDocument(c.params).toJson(QJsonDocument::Compact).left(160).toStdString();
        EXPECT_EQ(answer.code, c.code) << request << ": " << text(answer);
        EXPECT_TRUE(answer.message.contains(QString::fromLatin1(c.message)))
            << request << ": " << text(answer);
        ASSERT_EQ(flashOf(service.dmxDriver()), dmxFlash) << request;
        ASSERT_EQ(flashOf(service.dorvaneDriver()), dorvaneFlash) << request;
    }
}

// A row given again and again is written once, with the words of its last
// line (as a later record of a HEX file wins); the first line of the text
// still goes last.
TEST_F(FirmwareMethods, ARepeatedRowIsWrittenOnceWithItsLastWords)
{
    sim::SimDriverCore& driver = service.dorvaneDriver();
    QString module = moduleLine(0x760, 0x100) + moduleLine(0x740, 0x200);
    for (int copy = 0; copy < 2000; ++copy)
        module += moduleLine(0x760, copy == 1999 ? 0x300 : 0x100 + copy);
    const int written = driver.bootloader().rowsWritten();
    const RpcAnswer answer
        = call("device.firmware.upload", {{"device_id", service.boxId}, {"firmware", module}});
    ASSERT_TRUE(answer.ok()) << text(answer);
    EXPECT_EQ(answer.result.toObject(),
        (QJsonObject {{"missed_writes", 0}, {"correct_writes", 2}, {"status", "ok"}}));
    EXPECT_EQ(driver.bootloader().rowsWritten() - written, 2);
    for (int i = 0; i < 32; ++i) {
        ASSERT_EQ(driver.bootloader().word(0x760 + i), 0x300 + i) << i;
        ASSERT_EQ(driver.bootloader().word(0x740 + i), 0x200 + i) << i;
    }
}

// The retries an upload spent reach its report: a driver that lets one row
// write go unanswered costs one retry and the upload succeeds; one that never
// answers a row write fails it after the interface's attempts, with the
// retries in the message.
TEST_F(FirmwareMethods, AnUploadReportsTheRetriesItSpent)
{
    const QJsonObject params {{"device_id", service.boxId}, {"firmware_db_file", "i001v00203s001.hex"}};
    test::LogCapture log;
    service.dorvaneFaults().rowRefused = 1;
    const RpcAnswer once = call("device.firmware.upload", params);
    ASSERT_TRUE(once.ok()) << text(once);
    EXPECT_EQ(log.count(QStringLiteral("Firmware uploading successful")), 1)
        << log.messages().join('\n').toStdString();
    EXPECT_EQ(log.count(QStringLiteral("total_retries:          1)")), 1)
        << log.messages().join('\n').toStdString();

    service.dorvaneFaults().rowRefused = sim::SimDriverFaults::Forever;
    const RpcAnswer never = call("device.firmware.upload", params);
    EXPECT_EQ(never.code, -32603);
    EXPECT_TRUE(never.message.contains("Firmware uploading failed with error -11"))
        << never.message.toStdString();
    EXPECT_TRUE(never.message.contains("total_retries:          4)")) << never.message.toStdString();
    service.dorvaneFaults().rowRefused = 0;
}

// The sample modules carry their checksum in their final word, as module files
// do: an upload of each logs no fault, so /debug/error keeps to real faults.
TEST_F(FirmwareMethods, UploadingASampleModuleLogsNoFault)
{
    for (const char* name : {"i001v00203s001.hex", "i003v00105s001.hex"}) {
        test::LogCapture log;
        const RpcAnswer answer
            = call("device.firmware.upload", {{"device_id", service.boxId}, {"firmware_db_file", name}});
        ASSERT_TRUE(answer.ok()) << name << ": " << text(answer);
        for (const test::LogCapture::Entry& entry : log.entries())
            EXPECT_NE(entry.type, QtCriticalMsg) << name << ": " << entry.message.toStdString();
        EXPECT_EQ(log.count(QStringLiteral("Final word in module")),
            log.count(QStringLiteral("holds its checksum")))
            << name;
    }
}

// The spam is bounded: beyond the bound it is refused before anything goes to
// the box; at the bound it runs.
TEST_F(FirmwareMethods, BootloaderSpamIsBounded)
{
    constexpr int Bound = service::RpcDeviceFirmwareBlSpam::MaxSpamTimeMs;
    ASSERT_TRUE(call("device.firmware.do", {{"device_id", service.boxId}, {"action", "start_bl"}}).ok());
    // A spam probes the driver with row reads.
    const auto frames = [this] { return service.dorvaneDriver().frameCount(); };
    const int entered = frames();
    for (const qint64 spamtime : {qint64(Bound) + 1, qint64(999999), qint64(2147483647)}) {
        const RpcAnswer answer
            = call("device.firmware.blspam", {{"device_id", service.boxId}, {"spamtime", spamtime}});
        EXPECT_EQ(answer.code, -32602) << spamtime;
        EXPECT_TRUE(answer.message.contains(
            QStringLiteral("Parameter 'spamtime' must be at most %1 milliseconds").arg(Bound)))
            << answer.message.toStdString();
        EXPECT_EQ(frames(), entered) << spamtime;
    }
    const RpcAnswer atBound
        = call("device.firmware.blspam", {{"device_id", service.boxId}, {"spamtime", Bound}});
    ASSERT_TRUE(atBound.ok()) << text(atBound);
    EXPECT_EQ(atBound.result.toArray().first().toObject().value("entered_bootloader"), QJsonValue(true));
    EXPECT_GT(frames(), entered);
}
