#include "http_test_client.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::HttpReply;
using qmtest::HttpTestClient;
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
        service.environment().insert(
            "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
        // The DMX line of the first box, the one with the drivers behind it.
        const QJsonArray boxes = result("universe.search", {{"interface_type", "usb"}}).toArray();
        ASSERT_FALSE(boxes.isEmpty());
        int universe = 0;
        for (const QJsonValue& child : boxes.first().toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == "dmx")
                universe = child.toObject().value("universe_id").toInt();
        }
        ASSERT_GT(universe, 0);
        for (const QJsonValue& found :
            result("universe.search", {{"universe_id", universe}, {"search_protocol", "wystrel"}})
                .toArray()) {
            if (found.toObject().value("unique_id_string").toString() == "00a1b2c3")
                driver = found.toObject().value("device_id").toInt();
        }
        ASSERT_GT(driver, 0);
    }

    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit", {}).contains("result"));
        EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
    }

    QJsonObject call(const std::string& method, const QJsonObject& params)
    {
        HttpTestClient client(port);
        const HttpReply reply = client.request("POST", "/", {{"Content-Type", "application/json-rpc"}},
            qmtest::rpcBody(method, "1", QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString()));
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
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
