// The datastore methods ("device.firmware.datastore.*") and the profile flash
// methods ("device.flash.write", ".read") over HTTP, against the service run in
// this process on the default simulated bench.

#include "dmx/sim_wystrel_driver.h"
#include "drivers/sim_driver_core.h"
#include "drivers/sim_driver_faults.h"
#include "firmware_service.h"
#include "sim_vandrel_box.h"

#include "core/firmware.h"
#include "core/interface_type.h"
#include "core/network_interface.h"
#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "interfaces/bootloader/bootloader_proxy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>

#include <gtest/gtest.h>

using namespace tarvesk;

namespace {

constexpr int DatastoreFirst = 0x780;
constexpr int DatastoreLast = 0x7FF;
constexpr int ProfileFirst = 0x3CA0;
constexpr int ProfileLast = 0x3D1F;
constexpr int CalibrationWord = 1928; // "calib_parm_a_cs1" and "high_range_parm_a"

QVector<int> flashWords(sim::SimDriverCore& driver)
{
    QVector<int> words;
    for (int a = DatastoreFirst; a <= DatastoreLast; ++a)
        words << driver.bootloader().word(a);
    for (int a = ProfileFirst; a <= ProfileLast; ++a)
        words << driver.bootloader().word(a);
    for (int a = 0x8000; a < 0x8004; ++a)
        words << driver.bootloader().word(a);
    return words;
}

QJsonValue valueOf(const QJsonArray& parameters, const QString& pid)
{
    for (const QJsonValue& p : parameters) {
        if (p["pid"].toString() == pid)
            return p["value"];
    }
    return QJsonValue(QJsonValue::Undefined);
}

// The profile rows as the driver's firmware packs them: three bytes into two
// words (the third byte's low half above the first, its high half above the
// second), 45 bytes a row, the rows filled from the top one down.
QMap<int, int> packedProfile(const QJsonArray& bytes)
{
    const int rowStarts[] = {0x3D00, 0x3CE0, 0x3CC0, 0x3CA0};
    QMap<int, int> words;
    for (int chunk = 0; chunk * 45 < bytes.size(); ++chunk) {
        for (int i = 0; i < 45; i += 3) {
            const auto at
                = [&](int k) { return chunk * 45 + k < bytes.size() ? bytes[chunk * 45 + k].toInt() : 0; };
            const int b0 = at(i), b1 = at(i + 1), b2 = at(i + 2);
            words.insert(rowStarts[chunk] + i / 3 * 2, b0 | (b2 & 0x0F) << 8);
            words.insert(rowStarts[chunk] + i / 3 * 2 + 1, b1 | (b2 & 0xF0) << 4);
        }
    }
    return words;
}

class DatastoreAndFlash : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(service.start(&error)) << error.toStdString();
        ASSERT_TRUE(service.searchBoxes());
        ASSERT_TRUE(service.searchDrivers());
        boxId = service.boxId;
        dmxDeviceId = service.dmxDriverId;
        dorvaneDeviceId = service.dorvaneDriverId;
    }

    // The reply's {"result": ...}, or its error {"code", "message"}.
    QJsonObject call(const QString& method, const QJsonObject& params = QJsonObject())
    {
        const test::RpcAnswer answer = service.call(method, params);
        if (!answer.ok())
            return QJsonObject {{"code", answer.code}, {"message", answer.message}};
        return QJsonObject {{"result", answer.result}};
    }

    // The id of the universe of that interface type behind the box.
    int childUniverse(const QString& interfaceType)
    {
        for (const QJsonValue& u :
            call("universe.list", {{"interface_type", interfaceType}})["result"].toArray()) {
            if (u["parent_device_id"].toString() == QString::number(boxId))
                return u["universe_id"].toInt();
        }
        return -1;
    }

    sim::SimDriverCore& dmxDriver() { return service.dmxDriver(); }
    sim::SimDriverCore& dorvaneDriver() { return service.dorvaneDriver(); }

    QJsonObject datastore(const QString& method, const QString& side, QJsonObject params = QJsonObject())
    {
        params["device_id"] = boxId;
        params["interface_type"] = side;
        return call("device.firmware.datastore." + method, params);
    }

    // What the service holds of the DMX side's datastore: every value and the
    // calibration layout the next write takes.
    QMap<QString, QVariant> heldDatastore()
    {
        auto* universe
            = qobject_cast<core::Universe*>(core::UniverseManager::instance().getItem(service.dmxUniverseId));
        core::NetworkInterface* itf = universe ? universe->getInterface(core::ITF_TYPE_DEFAULT) : nullptr;
        auto* proxy = itf ? qobject_cast<itf::BootloaderProxy*>(itf->getBootloaderProxyInterface()) : nullptr;
        QMap<QString, QVariant> held;
        if (!proxy)
            return held;
        core::DataStore* store = proxy->getInterfaceFirmwareBuffer().getDataStore();
        for (core::Parameter* p : store->getDatastoreParameters())
            held.insert(p->getIdentifier(), p->getActualValue());
        held.insert("(old calibration layout)", store->isOldCalibrationParametersInUse());
        return held;
    }

    sim::SimDriverCore& driverOf(const QString& side)
    {
        return side == "dmx" ? dmxDriver() : dorvaneDriver();
    }

    test::FirmwareService service;
    int boxId = -1;
    int dmxDeviceId = -1;
    int dorvaneDeviceId = -1;
};

TEST_F(DatastoreAndFlash, ReadSetWriteAndReadAgainOnBothSidesOfTheBox)
{
    for (const QString side : {"dmx", "dorvane"}) {
        SCOPED_TRACE(side.toStdString());
        sim::SimDriverCore& driver = driverOf(side);

        const QJsonArray read = datastore("read", side)["result"].toArray();
        ASSERT_EQ(read.size(), 150);
        for (int i = 1; i < read.size(); ++i)
            EXPECT_LT(read[i - 1]["pid"].toString(), read[i]["pid"].toString());
        EXPECT_EQ(valueOf(read, "calib_parm_a_cs1").toInt(), 276) << "bench word 1928";
        EXPECT_EQ(valueOf(read, "calib_parm_e_cs1").toInt(), 0x0123);

        const QJsonObject set = datastore("set", side, {{"pid", "calib_parm_a_cs1"}, {"value", 1234}});
        EXPECT_EQ(set.value("result")["value"].toInt(), 1234);
        EXPECT_EQ(set.value("result")["hex_value"].toString(), "04d2");
        EXPECT_EQ(driver.bootloader().word(CalibrationWord), 276) << "set changes the buffer only";
        EXPECT_EQ(
            datastore("get", side, {{"pid", "calib_parm_a_cs1"}}).value("result")["value"].toInt(), 1234);
        EXPECT_EQ(valueOf(datastore("list", side)["result"].toArray(), "calib_parm_a_cs1").toInt(), 1234);
        EXPECT_EQ(datastore("get", side, {{"pid", "oem_id"}}).value("result")["pid"].toString(), "oem_id");

        const QJsonArray written = datastore("write", side)["result"].toArray();
        EXPECT_EQ(written.size(), 150);
        EXPECT_EQ(valueOf(written, "calib_parm_a_cs1").toInt(), 1234);
        EXPECT_EQ(driver.bootloader().word(CalibrationWord), 1234);

        // A change of an older calibration name writes the older words, once.
        datastore("set", side, {{"pid", "high_range_parm_a"}, {"value", 77}});
        datastore("set", side, {{"pid", "calib_parm_a_cs1"}, {"value", 55}});
        EXPECT_EQ(valueOf(datastore("write", side)["result"].toArray(), "calib_parm_a_cs1").toInt(), 77);
        EXPECT_EQ(driver.bootloader().word(CalibrationWord), 77);
        datastore("set", side, {{"pid", "calib_parm_a_cs1"}, {"value", 55}});
        datastore("write", side);
        EXPECT_EQ(driver.bootloader().word(CalibrationWord), 55);

        EXPECT_EQ(valueOf(datastore("read", side)["result"].toArray(), "calib_parm_a_cs1").toInt(), 55);
    }
}

// Each refused request: its code and message, and nothing changed, neither
// in the drivers' flash nor in the datastore the service holds.
TEST_F(DatastoreAndFlash, RefusedRequestsChangeNothing)
{
    // A profile in the flash first: the datastore methods leave the driver in its bootloader.
    const QJsonArray profile {10, 20, 30};
    ASSERT_EQ(call("device.flash.write",
                  {{"device_id", dmxDeviceId}, {"region", "light_shape"}, {"bytes", profile}})
                  .value("result")["status"]
                  .toInt(-1),
        0);

    EXPECT_TRUE(datastore("write", "dmx")["message"].toString().contains(
        "could not read datastore via bootloade.\n stacktrace: Datastore is empty"));
    ASSERT_EQ(datastore("read", "dmx")["result"].toArray().size(), 150);
    ASSERT_EQ(datastore("set", "dmx", {{"pid", "calib_parm_a_cs1"}, {"value", 123}})
                  .value("result")["value"]
                  .toInt(),
        123);

    const auto flashWrite = [this](const QJsonValue& bytes, const QString& region = "light_shape") {
        return QJsonObject {{"device_id", dmxDeviceId}, {"region", region}, {"bytes", bytes}};
    };
    QJsonArray tooLong;
    for (int i = 0; i < 181; ++i)
        tooLong << 1;
    const QString longText(31, QLatin1Char('a'));
    const QJsonArray gear = call("universe.search",
        {{"universe_id", childUniverse("dali")}, {"search_method", "step"},
            {"search_step_name", "query_0"}})["result"]
                                .toArray();
    ASSERT_FALSE(gear.isEmpty());
    const int gearId = gear.first()["device_id"].toInt();
    const struct
    {
        const char* method;
        QJsonObject params;
        int code;
        QString message;
    } cases[] = {
        {"device.firmware.datastore.set", {{"pid", "calib_parm_f_cs1"}, {"value", 9000}}, -32602,
            "\"calib_parm_f_cs1\" takes a whole number from -8192 to 8191"},
        {"device.firmware.datastore.set", {{"pid", "high_range_parm_a"}, {"value", 2.5}}, -32602,
            "takes a whole number from 0 to 16383"},
        {"device.firmware.datastore.set", {{"pid", "oem_id"}, {"value", 300}}, -32602, "from 0 to 255"},
        {"device.firmware.datastore.set", {{"pid", "manufacturer_label"}, {"value", longText}}, -32602,
            "at most 30 characters"},
        {"device.firmware.datastore.set", {{"pid", "model_description"}, {"value", "Lumi\u00e8re"}}, -32602,
            "ASCII characters only"},
        {"device.firmware.datastore.set", {{"pid", "us_flag"}, {"value", "yes"}}, -32602, "true or false"},
        {"device.firmware.datastore.set", {{"pid", "nope"}, {"value", 1}}, -32603,
            "Parameter 'nope' not available"},
        {"device.firmware.datastore.get", {{"pid", "nope"}}, -32602, "paramater 'nope' not available"},
        {"device.firmware.datastore.get", {{"pid", "oem_id"}, {"interface_type", "dali"}}, -32603,
            "No bootloader proxy channel found to communicate with device."},
        {"device.firmware.datastore.set", {{"pid", "oem_id"}, {"value", 1}, {"interface_type", "dali"}},
            -32603, "No bootloader proxy channel found to communicate with device."},
        {"device.firmware.datastore.write", {{"interface_type", "spi"}}, -32602, "interface_type"},
        {"device.flash.write", flashWrite(QJsonArray {1, 256}), -32602, "element 1 is 256"},
        {"device.flash.write", flashWrite(QJsonArray {1, -1}), -32602, "element 1 is -1"},
        {"device.flash.write", flashWrite(QJsonArray {1.5}), -32602, "element 0 is 1.5"},
        {"device.flash.write", flashWrite(QJsonArray {"7"}), -32602, "element 0 is not a number"},
        {"device.flash.write", flashWrite("1,,2"), -32602, "element 1 \"\" is not an integer"},
        {"device.flash.write", flashWrite("[1, 2]]"), -32602, "is not an integer"},
        {"device.flash.write", flashWrite("0x10"), -32602, "is not an integer"},
        {"device.flash.write", flashWrite(QJsonObject {}), -32602, "neither a list nor a text"},
        {"device.flash.write", flashWrite(5), -32602, "neither a list nor a text"},
        {"device.flash.write", flashWrite(tooLong), -32602,
            "max number of bytes possible to store in lx profile region is 180"},
        {"device.flash.write", flashWrite(profile, "datastore"), -32603,
            "flash write to region 'datastore' are not supported!"},
        {"device.flash.read", {{"device_id", dmxDeviceId}, {"region", "Light_Shape"}}, -32603,
            "flash write to region 'Light_Shape' are not supported!"},
        {"device.flash.write",
            {{"device_id", dmxDeviceId}, {"region", "light_shape"}, {"bytes", profile},
                {"skip_enterbl", true}},
            -32603, "flash writes via bootloader are not yet supported!"},
        {"device.flash.read", {{"device_id", dmxDeviceId}, {"region", "light_shape"}, {"skip_enterbl", true}},
            -32603, "flash reads via bootloader are not yet supported!"},
        {"device.flash.write", {{"device_id", 999}, {"region", "light_shape"}, {"bytes", profile}}, -32603,
            "device 999 does not exist."},
        {"device.flash.read", {{"device_id", gearId}, {"region", "light_shape"}}, -32603,
            QStringLiteral("device %1 has no raw interface \"presmonde\"").arg(gearId)},
    };
    for (const auto& c : cases) {
        QJsonObject params = c.params;
        if (QString(c.method).startsWith("device.firmware.")) {
            params.insert("device_id", params.value("device_id").toInt(boxId));
            if (!params.contains("interface_type"))
                params["interface_type"] = "dmx";
        }
        SCOPED_TRACE(c.method + (" " + QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString()));
        const QVector<int> dmxFlash = flashWords(dmxDriver());
        const QVector<int> dorvaneFlash = flashWords(dorvaneDriver());
        const int dumps = dmxDriver().dumps();
        const QMap<QString, QVariant> held = heldDatastore();
        ASSERT_EQ(held.size(), 151);

        const QJsonObject error = call(c.method, params);
        EXPECT_EQ(error["code"].toInt(), c.code);
        EXPECT_TRUE(error["message"].toString().contains(c.message))
            << error["message"].toString().toStdString();
        EXPECT_FALSE(error.contains("result"));

        EXPECT_EQ(flashWords(dmxDriver()), dmxFlash);
        EXPECT_EQ(flashWords(dorvaneDriver()), dorvaneFlash);
        EXPECT_EQ(dmxDriver().dumps(), dumps);
        EXPECT_EQ(heldDatastore(), held);
    }

    // A read that fails gives the bootloader's reason and leaves what the service holds.
    sim::SimDriverFaults& faults = service.dmxFaults();
    faults.silent = sim::SimDriverFaults::Forever;
    const QMap<QString, QVariant> held = heldDatastore();
    const QJsonObject failed = datastore("read", "dmx");
    faults.silent = 0;
    EXPECT_EQ(failed["code"].toInt(), -32603);
    EXPECT_TRUE(
        failed["message"].toString().contains("Failed to read datastore from via bootloader.\n stacktrace: "
                                              "Failed to read firmware row at address 1920"))
        << failed["message"].toString().toStdString();
    EXPECT_EQ(heldDatastore(), held);

    // The refused change of an older calibration name left the layout alone.
    datastore("write", "dmx");
    EXPECT_EQ(dmxDriver().bootloader().word(CalibrationWord), 123);
}

// The datastore goes back only into the chip it was read from.
TEST_F(DatastoreAndFlash, WriteIntoAnotherChipIsRefused)
{
    sim::SimDriverCore& driver = dmxDriver();
    ASSERT_EQ(datastore("read", "dmx")["result"].toArray().size(), 150);
    datastore("set", "dmx", {{"pid", "calib_parm_a_cs1"}, {"value", 999}});

    // Another driver in the first one's place: another chip identity, another calibration.
    const int identity[] = {0x0012, 0x0345, 0x0678, 0x009A};
    for (int i = 0; i < 4; ++i)
        driver.bootloader().setWord(0x8000 + i, quint16(identity[i]));
    driver.bootloader().setWord(CalibrationWord, 500);
    const QVector<int> before = flashWords(driver);
    // The identity values a client sets are no proof of where the datastore came from.
    for (int i = 0; i < 4; ++i)
        datastore("set", "dmx", {{"pid", QStringLiteral("dbin_%1").arg(i)}, {"value", identity[i]}});

    const QJsonObject refused = datastore("write", "dmx");
    EXPECT_EQ(refused["code"].toInt(), -32603);
    EXPECT_TRUE(refused["message"].toString().contains("the datastore was read from another chip (identity "
                                                       "3fff 3fff 3fff 3fff, this chip 0012 0345 0678 009a)"))
        << refused["message"].toString().toStdString();
    EXPECT_EQ(flashWords(driver), before);
    EXPECT_EQ(datastore("write", "dmx")["code"].toInt(), -32603) << "refused again: the buffer kept its chip";

    // Once read from this chip, its datastore can be written.
    EXPECT_EQ(valueOf(datastore("read", "dmx")["result"].toArray(), "calib_parm_a_cs1").toInt(), 500);
    EXPECT_EQ(valueOf(datastore("read", "dmx")["result"].toArray(), "dbin_1").toInt(), 0x0345);
    datastore("set", "dmx", {{"pid", "calib_parm_a_cs1"}, {"value", 501}});
    datastore("set", "dmx", {{"pid", "dbin_0"}, {"value", 0x3FFF}});
    EXPECT_TRUE(datastore("write", "dmx").contains("result"));
    EXPECT_EQ(driver.bootloader().word(CalibrationWord), 501);
}

TEST_F(DatastoreAndFlash, ProfileBytesGoIntoTheProfileRowsAndComeBack)
{
    QJsonArray profile;
    for (int i = 0; i < 100; ++i)
        profile << (i * 37 + 11) % 251 + 1; // no zero, so nothing is trimmed
    const struct
    {
        int deviceId;
        sim::SimDriverCore* driver;
    } drivers[] = {{dmxDeviceId, &dmxDriver()}, {dorvaneDeviceId, &dorvaneDriver()}};
    for (const auto& d : drivers) {
        SCOPED_TRACE(d.deviceId);
        const QJsonObject written = call("device.flash.write",
            {{"device_id", d.deviceId}, {"region", "light_shape"}, {"bytes", profile}})["result"]
                                        .toObject();
        EXPECT_EQ(written["bytes"].toArray(), profile);
        EXPECT_EQ(written["status"].toInt(), 0);
        EXPECT_EQ(written["target"].toInt(), 12) << "the row of the third chunk was written last";
        const QMap<int, int> expected = packedProfile(profile);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            EXPECT_EQ(d.driver->bootloader().word(it.key()), it.value()) << std::hex << it.key();

        const QJsonObject read
            = call("device.flash.read", {{"device_id", d.deviceId}, {"region", "light_shape"}})["result"]
                  .toObject();
        EXPECT_EQ(read["bytes"].toArray(), profile);
        EXPECT_EQ(read["status"].toInt(), 0);
        EXPECT_EQ(read["target"].toInt(), 16);
    }

    // The driver's bootloader reads the same packed words out of the profile rows.
    const QJsonObject words = call("device.firmware.rawparam.get",
        {{"device_id", boxId}, {"interface_type", "dorvane"},
            {"address_range",
                QJsonObject {{"start_address", ProfileFirst}, {"end_address", ProfileLast}}}})["result"]
                                  .toObject();
    const QJsonArray flash = words["bytes"].toArray();
    ASSERT_EQ(flash.size(), ProfileLast - ProfileFirst + 1) << QJsonDocument(words).toJson().toStdString();
    const QMap<int, int> expected = packedProfile(profile);
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(flash[it.key() - ProfileFirst].toInt(), it.value()) << std::hex << it.key();

    // The text forms of the list; an empty one writes nothing.
    const struct
    {
        const char* text;
        QJsonArray bytes;
    } texts[] = {{"[4, 5,6 ]", {4, 5, 6}}, {" 7 , 8", {7, 8}}, {"", {}}, {"[]", {}}};
    for (const auto& t : texts) {
        const QJsonObject written = call(
            "device.flash.write", {{"device_id", dmxDeviceId}, {"region", "light_shape"}, {"bytes", t.text}});
        EXPECT_EQ(written.value("result")["bytes"].toArray(), t.bytes) << t.text;
    }
    EXPECT_EQ(call("device.flash.read", {{"device_id", dmxDeviceId}, {"region", "light_shape"}})
                  .value("result")["bytes"]
                  .toArray()
                  .first(),
        7);

    // A memory access that fails reaches the client with its own reason.
    service.box()->unplug();
    const QJsonObject lost
        = call("device.flash.read", {{"device_id", dmxDeviceId}, {"region", "light_shape"}});
    EXPECT_EQ(lost["code"].toInt(), -32603);
    EXPECT_TRUE(lost["message"].toString().contains("error code = -3"))
        << lost["message"].toString().toStdString();
    EXPECT_FALSE(lost["message"].toString().contains("Unknown exception"));
}

} // namespace
