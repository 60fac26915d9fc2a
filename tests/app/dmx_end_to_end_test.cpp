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
    return value.isArray() ? QJsonDocument(value.toArray()).toJson().toStdString()
                           : QJsonDocument(value.toObject()).toJson().toStdString();
}

// The service on a bench, its DMX line searched and its drivers read over HTTP.
class DmxOverHttp : public ::testing::Test
{
protected:
    void start(const QString& benchPath)
    {
        service.environment().insert("QM_SIM_BENCH", benchPath);
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }

    void startOn(const QByteArray& bench)
    {
        QFile file(dir.filePath("bench.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bench);
        file.close();
        start(file.fileName());
    }

    void startOnDefault()
    {
        start(QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
    }

    QJsonObject call(const std::string& method, const QString& params)
    {
        return qmtest::rpcCallText(port, method, params.toStdString());
    }

    // The DMX universe of the first box found.
    int dmxUniverse()
    {
        const QJsonArray boxes
            = call("universe.search", R"({"interface_type": "usb"})").value("result").toArray();
        if (boxes.isEmpty())
            return -1;
        for (const QJsonValue& child : boxes.first().toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == "dmx")
                return child.toObject().value("universe_id").toInt();
        }
        return -1;
    }

    // The drivers found, each as its reply object.
    QJsonArray search(int universe, const QString& extra = QString())
    {
        const QJsonObject reply
            = call("universe.search", QStringLiteral(R"({"universe_id": %1%2})").arg(universe).arg(extra));
        EXPECT_TRUE(reply.contains("result")) << text(reply) << service.standardError().toStdString();
        return reply.value("result").toArray();
    }

    QStringList uniqueIds(const QJsonArray& devices)
    {
        QStringList ids;
        for (const QJsonValue& device : devices)
            ids << device.toObject().value("unique_id_string").toString();
        return ids;
    }

    QJsonObject param(int device, const QString& pid)
    {
        return call(
            "device.param.get", QStringLiteral(R"({"device_id": %1, "pid": "%2"})").arg(device).arg(pid));
    }

    QTemporaryDir dir;
    ServiceProcess service;
    int port = 0;
};

TEST_F(DmxOverHttp, TheDefaultBenchLineByProtocolAndItsDriversParameters)
{
    startOnDefault();
    const int universe = dmxUniverse();
    ASSERT_GT(universe, 0);
    const struct
    {
        const char* extra;
        QStringList ids;
    } rows[] = {
        {"", {"7e2b:00a1b2c3"}},
        {R"(, "subdevices": true)", {"7e2b:00a1b2c3", "00a1b2c4"}},
        {R"(, "search_protocol": "RDM", "subdevices": true)", {"7e2b:00a1b2c3"}},
        {R"(, "search_protocol": "wystrel")", {"00a1b2c3"}},
        {R"(, "search_protocol": "wystrel", "subdevices": true)", {"00a1b2c3", "00a1b2c4"}},
        {R"(, "search_protocol": ["wystrel", "rdm"], "subdevices": true)", {"7e2b:00a1b2c3", "00a1b2c4"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(uniqueIds(search(universe, QLatin1String(row.extra))), row.ids) << row.extra;

    const QJsonArray devices = search(universe, R"(, "subdevices": true)");
    ASSERT_EQ(devices.size(), 2);
    const QJsonObject both = devices.at(0).toObject();
    const QJsonObject second = devices.at(1).toObject();
    for (const QJsonObject& device : {both, second}) {
        EXPECT_EQ(device.value("interface_type").toString(), "dmx");
        EXPECT_EQ(device.value("device_name").toString(), "Stagebar Wystrel 2CH");
        EXPECT_EQ(device.value("product_id").toInt(), 80);
        EXPECT_EQ(device.value("oem_id").toInt(), 3);
        EXPECT_EQ(device.value("revision").toString(), "276.0");
        QStringList interfaces;
        for (const QJsonValue& name : device.value("raw_parameter_interfaces").toArray())
            interfaces << name.toString();
        interfaces.sort();
        EXPECT_EQ(interfaces,
            QStringList({"nordhune1_ee", "nordhune1_ram", "nordhune2_ee", "nordhune2_ram", "presmonde"}));
    }

    // The RDM side of the first driver: its temperature sensor below zero, its label.
    const int first = both.value("device_id").toInt();
    const QJsonObject sensor = param(first, "sensor_value_1").value("result").toObject();
    EXPECT_EQ(sensor.value("raw_value").toInt(), -55) << text(sensor);
    EXPECT_DOUBLE_EQ(sensor.value("value").toDouble(), -5.5);
    EXPECT_EQ(sensor.value("display_name").toString(), "Sensor value 1 : Temperature (Board temperature)");
    EXPECT_EQ(param(first, "device_label").value("result").toObject().value("value").toString(), "\"Bench\"");
    EXPECT_EQ(param(first, "sensor_count").value("result").toObject().value("value").toInt(), 1);

    // The driver at skip count 1 through its memory.
    const int behind = second.value("device_id").toInt();
    const QJsonObject set = call("device.param.set",
        QStringLiteral(R"({"device_id": %1, "pid": "dmx_start_address", "value": 17})").arg(behind));
    EXPECT_TRUE(set.contains("result")) << text(set);
    EXPECT_EQ(param(behind, "dmx_start_address").value("result").toObject().value("value").toInt(), 17);
    EXPECT_EQ(param(first, "dmx_start_address").value("result").toObject().value("value").toInt(), 0);
    EXPECT_TRUE(param(behind, "sensor_value_1").contains("error")); // an RDM parameter of the other driver

    EXPECT_TRUE(call("application.quit", "{}").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

TEST_F(DmxOverHttp, CollidingRespondersLeaveTheWystrelDriversAndSilentLinesFindNothing)
{
    startOn(R"({"timing": "instant", "boxes": [{"release": "0x2014", "firmware": 21, "subversion": 12,
        "capabilities": "0x22", "serial": 7, "dmx": [
        {"model": "rdm_responder", "uid": "0x7E2B00000001"},
        {"model": "rdm_responder", "uid": "0x7E2B00000002"},
        {"model": "wystrel_driver", "uid": "0x80A1B2C3", "version": 276, "product_id": 80, "oem_id": 3},
        {"model": "wystrel_driver", "uid": "0x00000005", "skip_position": 1, "faults": {"silent": -1}}]}]})");
    const int universe = dmxUniverse();
    ASSERT_GT(universe, 0);
    EXPECT_EQ(uniqueIds(search(universe, R"(, "subdevices": true)")), QStringList {"80a1b2c3"});
    EXPECT_TRUE(search(universe, R"(, "search_protocol": "rdm")").isEmpty());
    EXPECT_TRUE(call("application.quit", "{}").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

TEST_F(DmxOverHttp, AnRdmOnlyResponderIsNamedByItsModelAndReadsItsSensorsLive)
{
    startOn(R"({"timing": "instant", "boxes": [{"release": "0x2014", "firmware": 21, "subversion": 12,
        "capabilities": "0x22", "serial": 8, "dmx": [
        {"model": "rdm_responder", "uid": "0x1234F0000001", "model_description": "Fixture 9",
         "manufacturer_label": "Elsewhere", "sensors": [{"type": 1, "unit": 2, "prefix": 0, "value": -3,
         "description": "Rail"}, {"type": 0, "unit": 1, "prefix": 0, "value": 41, "description": "Case"}]}]}]})");
    const int universe = dmxUniverse();
    ASSERT_GT(universe, 0);
    const QJsonArray found = search(universe, R"(, "search_protocol": "rdm")");
    ASSERT_EQ(uniqueIds(found), QStringList {"1234:f0000001"});
    const QJsonObject device = found.at(0).toObject();
    EXPECT_EQ(device.value("device_name").toString(), "Fixture 9");
    EXPECT_EQ(device.value("manufacturer").toString(), "Elsewhere");
    EXPECT_TRUE(device.value("raw_parameter_interfaces").toArray().isEmpty());
    const int id = device.value("device_id").toInt();
    EXPECT_EQ(param(id, "sensor_value_1").value("result").toObject().value("value").toInt(), -3);
    EXPECT_EQ(param(id, "sensor_value_2").value("result").toObject().value("display_name").toString(),
        "Sensor value 2 : Temperature (Case)");
    EXPECT_EQ(param(id, "manufacturer_label").value("result").toObject().value("value").toString(),
        "\"Elsewhere\"");
    EXPECT_TRUE(call("application.quit", "{}").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

} // namespace
