#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

std::string text(const QJsonValue& value)
{
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact).toStdString();
}

// The built-in parameters of the Wystrel driver on the default bench, read and
// written over HTTP after the USB search and the search of its DMX line.
class BuiltinParametersOverHttp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startOn(QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json", "dmx",
            {{"search_protocol", "wystrel"}});
    }

    // The service on the bench, its USB search, then the search of the first
    // box's universe of that type: the driver found there is the one tested.
    void startOn(const QString& bench, const QString& type, QJsonObject search)
    {
        service.environment().insert("QM_SIM_BENCH", bench);
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
        const QJsonArray boxes = result("universe.search", {{"interface_type", "usb"}}).toArray();
        ASSERT_FALSE(boxes.isEmpty());
        int universe = 0;
        for (const QJsonValue& child : boxes.first().toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == type)
                universe = child.toObject().value("universe_id").toInt();
        }
        ASSERT_GT(universe, 0);
        search.insert("universe_id", universe);
        const QJsonArray found = result("universe.search", search).toArray();
        ASSERT_EQ(found.size(), 1) << text(QJsonObject {{"found", found}});
        driver = found.first().toObject().value("device_id").toInt();
        ASSERT_GT(driver, 0);
    }

    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit", {}).contains("result"));
        EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
    }

    QJsonObject call(const std::string& method, const QJsonObject& params)
    {
        return qmtest::rpcCall(port, method, params);
    }
    QJsonValue result(const std::string& method, const QJsonObject& params)
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result")) << method << " " << text(params) << ": " << text(reply);
        return reply.value("result");
    }

    QJsonObject get(const char* pid)
    {
        return call("device.param.get", {{"device_id", driver}, {"pid", pid}});
    }
    QJsonValue value(const char* pid)
    {
        const QJsonObject reply = get(pid);
        EXPECT_TRUE(reply.contains("result")) << pid << ": " << text(reply);
        return reply.value("result").toObject().value("value");
    }
    QJsonObject set(const char* pid, const QJsonValue& value)
    {
        return call("device.param.set", {{"device_id", driver}, {"pid", pid}, {"value", value}});
    }
    // A word of the driver's Presmonde memory.
    int word(int address)
    {
        const QJsonObject reply = result("device.rawparam.get",
            {{"device_id", driver}, {"param_type", "presmonde"}, {"address", address},
                {"resolution",
                    "16 bit"}}).toObject();
        EXPECT_EQ(reply.value("status").toString(), "ok") << address << ": " << text(reply);
        return reply.value("bytes").toArray().at(0).toInt(-1);
    }

    ServiceProcess service;
    int port = 0;
    int driver = 0;
};

} // namespace

// The core version, the start-up byte and the scene outputs of the Wystrel
// driver, each written field by field into the driver's memory.
TEST_F(BuiltinParametersOverHttp, CoreVersionStartupAndScenesOfTheWystrelDriver)
{
    const QJsonObject version = get("core_version_string").value("result").toObject();
    EXPECT_EQ(version.value("value").toString(), "21.3") << text(version);
    EXPECT_TRUE(version.value("readonly").toBool());
    // The driver's version word is not the client's to write.
    const QJsonObject refused = set("core_version_string", 1);
    EXPECT_EQ(refused.value("error").toObject().value("code").toInt(), -32603) << text(refused);
    EXPECT_EQ(word(16361), 0x0315);
    EXPECT_EQ(value("core_version_string"), "21.3");

    // Byte 1 holds 0x15 on the bench: a delay of 5 steps of 50 ms, scene 1 at
    // start-up, the last value kept when the DMX signal fails.
    EXPECT_EQ(value("extra_startup_delay"), 250);
    EXPECT_EQ(value("startup_behaviour"), "Goto Scene 1");
    EXPECT_EQ(value("dmx_failure_behaviour"), "Retain last value");
    const struct
    {
        const char* pid;
        const char* option;
        int byte;
    } writes[] = {{"startup_behaviour", "Goto Scene 2", 0x25},
        {"dmx_failure_behaviour", "Goto Scene 1", 0x65}, {"startup_behaviour", "Goto Scene 1", 0x55}};
    for (const auto& w : writes) {
        const QJsonObject reply = set(w.pid, w.option);
        EXPECT_EQ(reply.value("result").toObject().value("value").toString(), w.option) << text(reply);
        EXPECT_EQ(word(1), w.byte) << w.pid << " " << w.option;
        EXPECT_EQ(value(w.pid), w.option);
    }
    const QJsonObject unknown = set("startup_behaviour", "Goto Scene 3");
    EXPECT_EQ(unknown.value("error").toObject().value("code").toInt(), -32603) << text(unknown);
    EXPECT_EQ(word(1), 0x55);
    EXPECT_EQ(value("extra_startup_delay"), 250);

    // Two outputs share a word: each write keeps its neighbour.
    const struct
    {
        const char* pid;
        int value, address, word;
    } scenes[] = {{"scene_1_output_2", 200, 10, 0xC800}, {"scene_1_output_1", 7, 10, 0xC807},
        {"scene_2_output_1", 255, 12, 0x00FF}, {"scene_1_output_2", 0, 10, 0x0007}};
    for (const auto& s : scenes) {
        const QJsonObject reply = set(s.pid, s.value);
        EXPECT_EQ(reply.value("result").toObject().value("value").toInt(), s.value) << text(reply);
        EXPECT_EQ(word(s.address), s.word) << s.pid << " " << s.value;
    }
    EXPECT_EQ(value("scene_1_output_1"), 7);
    EXPECT_EQ(value("scene_1_output_2"), 0);
    EXPECT_EQ(value("scene_2_output_1"), 255);
    EXPECT_EQ(value("scene_2_output_2"), 0);

    // A DMX driver has no lightshape capability: the lightshape group stays
    // off its list, the built-ins of the other groups are there.
    QStringList pids;
    for (const QJsonValue& p : result("device.param.list", {{"device_id", driver}}).toArray())
        pids << p.toObject().value("pid").toString();
    EXPECT_TRUE(pids.contains("startup_behaviour")) << pids.join(' ').toStdString();
    EXPECT_TRUE(pids.contains("scene_2_output_4"));
    EXPECT_TRUE(pids.filter("light_shaping").isEmpty()) << pids.join(' ').toStdString();
    EXPECT_EQ(get("light_shaping_settings").value("error").toObject().value("code").toInt(), -32602);
}

namespace {

// A Corvalt 560 on the Dorvane port of a box: its profile type carries the
// lightshape built-ins, and the driver (bit 5 of 0x3FE6 set) the lightshape
// capability that shows them.
class LightshapeSettingsOverHttp : public BuiltinParametersOverHttp
{
protected:
    void SetUp() override
    {
        QFile file(dir.filePath("bench.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"timing": "instant", "boxes": [{"release": "0x2014", "firmware": 21, "subversion": 12,
            "capabilities": "0x22", "serial": 9, "registers": {"4": 0, "41": 354, "48": 2}, "dorvane": [
            {"model": "dorvane_driver", "version": 276, "product_id": 32, "oem_id": 1,
             "parameters": {"16358": 32, "105": 128, "52": 2, "16361": "0x0315"},
             "presmonde": true, "dali_short_address": 0}]}]})");
        file.close();
        startOn(file.fileName(), "dorvane", {});
    }

    // The profile text as a client sends it, and the words the driver packs it into.
    static QString textOf(const QJsonArray& bytes)
    {
        return QString::fromUtf8(QJsonDocument(bytes).toJson(QJsonDocument::Compact));
    }
    // Rows 16, 14, 12 and 10 of the flash, 45 bytes each, three bytes in two words.
    QList<int> profileRows()
    {
        QList<int> words;
        for (int row : {16, 14, 12, 10}) {
            for (int i = 0; i < 30; ++i)
                words << word(0x3C00 + 16 * row + i);
        }
        return words;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(LightshapeSettingsOverHttp, ProfileDumpedIntoTheFlashAndTheOversizedOneRefused)
{
    const QJsonObject active = get("light_shaping_active").value("result").toObject();
    EXPECT_EQ(active.value("value"), QJsonValue(true)) << text(active);

    // 50 bytes: 45 into row 16 (0x3D00), 5 into row 14 (0x3CE0).
    QJsonArray bytes;
    for (int i = 0; i < 50; ++i)
        bytes << (i * 37 + 11) % 256;
    const QJsonObject written = set("light_shaping_settings", textOf(bytes));
    EXPECT_EQ(written.value("result").toObject().value("value").toString(), textOf(bytes)) << text(written);
    auto at = [&](int i) { return i < bytes.size() ? bytes.at(i).toInt() : 0; };
    for (int i = 0; i < 45; i += 3) {
        EXPECT_EQ(word(0x3D00 + i / 3 * 2), at(i) | (at(i + 2) & 0x0F) << 8) << i;
        EXPECT_EQ(word(0x3D00 + i / 3 * 2 + 1), at(i + 1) | (at(i + 2) & 0xF0) << 4) << i;
    }
    EXPECT_EQ(word(0x3CE0), at(45) | (at(47) & 0x0F) << 8);
    EXPECT_EQ(word(0x3CE1), at(46) | (at(47) & 0xF0) << 4);
    EXPECT_EQ(word(0x3CE2), at(48));
    EXPECT_EQ(word(0x3CE3), at(49));
    EXPECT_EQ(word(0x3CE4), 0);
    EXPECT_EQ(word(7864), 0); // the firmware's status of the dump
    // Read back from the flash, not from the parameter.
    EXPECT_EQ(value("light_shaping_settings").toString(), textOf(bytes));

    // A 129-point warm-dimming profile is 277 bytes, more than the four rows
    // hold: refused before the driver is asked, so the flash keeps the first.
    const QJsonObject warm = result("lightshape.profile.create",
        {{"strategy", "wd"}, {"optimization_method", "constant"}, {"cct_min", 1900}, {"cct_max", 2500},
            {"cct_1", 1800}, {"cct_2", 2500}, {"lumens_1", 800}, {"lumens_2", 1000},
            {"lumens_max",
                1000}}).toObject();
    const QJsonArray large = warm.value("bytes").toArray();
    ASSERT_EQ(large.size(), 277);
    const QList<int> before = profileRows();
    const QJsonObject refused = set("light_shaping_settings", textOf(large));
    EXPECT_EQ(refused.value("error").toObject().value("code").toInt(), -32603) << text(refused);
    // The client's value is named as the fault, not the bus.
    EXPECT_TRUE(refused.value("error").toObject().value("message").toString().contains("Invalid parameter."))
        << text(refused);
    EXPECT_EQ(profileRows(), before);
    EXPECT_EQ(value("light_shaping_settings").toString(), textOf(bytes));

    // Text that is no list of bytes is refused as well, and leaves the profile.
    for (const char* bad : {"not json", "[1,256]", "[1.5]"}) {
        const QJsonObject reply = set("light_shaping_settings", bad);
        EXPECT_EQ(reply.value("error").toObject().value("code").toInt(), -32603) << bad << text(reply);
    }
    EXPECT_EQ(value("light_shaping_settings").toString(), textOf(bytes));
}
