#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "wait_until.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

using qmtest::ServiceProcess;

namespace {

std::string text(const QJsonValue& value)
{
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact).toStdString();
}

// The device log and raw memory methods over HTTP against the service on the
// default bench, after one USB search: the newer box (firmware 21) with DALI
// gear behind it.
class DeviceLogRawEndToEnd : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        service = std::make_unique<ServiceProcess>();
        service->environment().insert("QM_SIM_BENCH",
            QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + QStringLiteral("/sim/benches/default.json"));
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service->startServing(port, {"-d"})) << service->standardError().toStdString();
        ASSERT_EQ(
            call("universe.search", R"({"interface_type": "usb"})").value("result").toArray().size(), 2);
        for (const QJsonValue& device : call("device.list").value("result").toArray()) {
            if (device.toObject().value("version").toInt() == 21)
                newBox = device.toObject().value("device_id").toInt();
        }
        for (const QJsonValue& value : call("universe.list").value("result").toArray()) {
            const QJsonObject universe = value.toObject();
            if (universe.value("interface_type").toString() == "dali"
                && universe.value("parent_device_id").toString() == QString::number(newBox))
                dali = universe.value("universe_id").toInt();
        }
    }
    static void TearDownTestSuite() { service.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(service && service->isRunning());
        ASSERT_TRUE(newBox && dali);
    }

    static QJsonObject call(const std::string& method, const std::string& params = "{}")
    {
        return qmtest::rpcCallText(port, method, params);
    }
    static QJsonObject call(const std::string& method, const QJsonObject& params)
    {
        return call(method, QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString());
    }
    static QJsonValue result(const std::string& method, const QJsonObject& params)
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result")) << method << " " << text(params) << ": " << text(reply);
        return reply.value("result");
    }
    static QJsonArray logFrom(int from, int count = 1000)
    {
        return result("device.log.get", {{"device_id", newBox}, {"from_packet", from}, {"count", count}})
            .toObject()
            .value("packets")
            .toArray();
    }

    static std::unique_ptr<ServiceProcess> service;
    static int port;
    static int newBox, dali;
};

std::unique_ptr<ServiceProcess> DeviceLogRawEndToEnd::service;
int DeviceLogRawEndToEnd::port = 0;
int DeviceLogRawEndToEnd::newBox = 0;
int DeviceLogRawEndToEnd::dali = 0;

TEST_F(DeviceLogRawEndToEnd, TextEntryAndMonitoredDaliRecordsPageByPage)
{
    EXPECT_EQ(result("device.log", {{"device_id", newBox}, {"msg", "marker\nforged"}, {"log_type", "info"}}),
        QJsonObject({{"status", "ok"}, {"status_text", "Message logged"}}));
    // QUERY PHYSICAL MINIMUM of short address 0: the monitor logs the frame and its answer.
    result("dali.send", {{"universe_id", dali}, {"bytes", QJsonArray {0x01, 154}}, {"expect_answer", true}});
    // The monitor thread appends on its own, and a full log drops its oldest
    // entries, so the entries are looked for rather than counted.
    auto markerAndQuery = [&](const QJsonArray& entries) {
        int marker = -1;
        for (int i = 0; i < entries.size(); ++i) {
            const QJsonObject entry = entries.at(i).toObject();
            if (entry.value("packet_log").toString() == "marker forged")
                marker = i;
            else if (marker >= 0 && entry.value("packet_log").toString().contains("QUERY_PHYSICAL_MINIMUM"))
                return marker;
        }
        return -1;
    };
    ASSERT_TRUE(tarvesk::test::waitUntil([&] { return markerAndQuery(logFrom(0)) >= 0; }, 10000))
        << text(QJsonObject {{"entries", logFrom(0)}});
    const QJsonArray entries = logFrom(0);
    const int marker = markerAndQuery(entries);

    // Page by page: one entry each, and what is left after it.
    const QJsonObject page
        = result("device.log.get", {{"device_id", newBox}, {"from_packet", marker}, {"count", 1}}).toObject();
    EXPECT_EQ(page.value("count").toInt(), 1);
    EXPECT_EQ(page.value("packets").toArray().at(0), entries.at(marker));
    EXPECT_GE(page.value("packets_left").toInt(), entries.size() - marker - 1);
    const QJsonObject error
        = call("device.log.get", {{"device_id", newBox}, {"from_packet", 0}, {"count", 0}})
              .value("error")
              .toObject();
    EXPECT_EQ(error.value("code").toInt(), -32602);
}

TEST_F(DeviceLogRawEndToEnd, PresmondeRegistersReadAndWritten)
{
    EXPECT_EQ(
        result("device.rawparam.get", {{"device_id", newBox}, {"param_type", "presmonde"}, {"address", 0}}),
        QJsonObject({{"status", "ok"}, {"bytes", QJsonArray {21}}}));
    // The box's Dorvane role register reads back what was written.
    for (int mode : {3, 2}) {
        EXPECT_EQ(result("device.rawparam.set",
                      {{"device_id", newBox}, {"param_type", "main"}, {"address", 48}, {"value", mode}}),
            QJsonObject({{"status", "ok"}, {"bytes", QJsonArray {mode}}}));
        EXPECT_EQ(
            result("device.rawparam.get", {{"device_id", newBox}, {"param_type", "main"}, {"address", 48}}),
            QJsonObject({{"status", "ok"}, {"bytes", QJsonArray {mode}}}));
    }
    const QJsonObject error = call("device.rawparam.set",
        {{"device_id", newBox}, {"param_type", "main"}, {"address", 48}, {"value", 300}})
                                  .value("error")
                                  .toObject();
    EXPECT_EQ(error.value("code").toInt(), -32602);
    EXPECT_EQ(result("device.rawparam.get", {{"device_id", newBox}, {"param_type", "main"}, {"address", 48}}),
        QJsonObject({{"status", "ok"}, {"bytes", QJsonArray {2}}}));
}

} // namespace
