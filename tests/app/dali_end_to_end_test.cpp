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

// The service on a bench, driven over HTTP as a client drives it.
class DaliOverHttp : public ::testing::Test
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

    QJsonObject call(const std::string& method, const QString& params)
    {
        return qmtest::rpcCallText(port, method, params.toStdString());
    }

    // The DALI universe of the first box found.
    int daliUniverse()
    {
        const QJsonArray boxes
            = call("universe.search", R"({"interface_type": "usb"})").value("result").toArray();
        for (const QJsonValue& child : boxes.first().toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == "dali")
                return child.toObject().value("universe_id").toInt();
        }
        return -1;
    }

    QJsonObject step(int universe, const char* name) { return qmtest::searchStep(port, universe, name); }

    // "initialise_all", "search_single" until it finds nothing, "end_search":
    // everything the steps answered, in order.
    QJsonArray commission(int universe)
    {
        QJsonArray all;
        EXPECT_TRUE(step(universe, "initialise_all").value("result").toArray().isEmpty());
        for (int i = 0; i < 10; ++i) {
            const QJsonArray found = step(universe, "search_single").value("result").toArray();
            for (const QJsonValue& value : found)
                all.append(value);
            if (found.isEmpty())
                break;
        }
        EXPECT_TRUE(step(universe, "end_search").contains("result"));
        return all;
    }

    QTemporaryDir dir;
    ServiceProcess service;
    int port = 0;
};

TEST_F(DaliOverHttp, StepSearchOnTheDefaultBenchThenParameters)
{
    start(QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
    const int universe = daliUniverse();
    ASSERT_GT(universe, 0);
    const QJsonArray devices = commission(universe);
    ASSERT_EQ(devices.size(), 2) << QJsonDocument(devices).toJson().toStdString();
    QStringList names;
    QStringList revisions;
    for (const QJsonValue& device : devices) {
        names << device.toObject().value("device_name").toString();
        revisions << device.toObject().value("revision").toString();
    }
    EXPECT_EQ(names, QStringList({"DALI short 0 device", "DALI short 1 device"}));
    EXPECT_TRUE(revisions.contains("3.12"))
        << revisions.join(',').toStdString(); // the gear with firmware 3.12
    const int id = devices.first().toObject().value("device_id").toInt();

    const QJsonObject set = call("device.param.set",
        QStringLiteral(R"({"device_id": %1, "pid": "dali_102_power_on_level", "value": 120})").arg(id));
    EXPECT_EQ(set.value("result").toObject().value("value").toInt(), 120)
        << QJsonDocument(set).toJson().toStdString();
    const QJsonObject get = call(
        "device.param.get", QStringLiteral(R"({"device_id": %1, "pid": "dali_102_power_on_level"})").arg(id));
    EXPECT_EQ(get.value("result").toObject().value("hex_value").toString(), "78");
    const QJsonObject list = call("device.param.list",
        QStringLiteral(
            R"({"device_id": %1, "access_level": "dev", "group_filter": {"groups": ["Memory bank 0"], "operation": "in"}})")
            .arg(id));
    EXPECT_EQ(list.value("result").toArray().size(), 8);
    const QJsonObject refused = call("device.param.set",
        QStringLiteral(R"({"device_id": %1, "pid": "dali_102_power_on_level", "value": 999})").arg(id));
    EXPECT_EQ(refused.value("error").toObject().value("code").toInt(), -32603);
    EXPECT_EQ(call("device.param.get",
                  QStringLiteral(R"({"device_id": %1, "pid": "dali_102_power_on_level"})").arg(id))
                  .value("result")
                  .toObject()
                  .value("value")
                  .toInt(),
        120);

    // Initialising again takes the addresses away: the devices go.
    EXPECT_TRUE(step(universe, "initialise_all").value("result").toArray().isEmpty());
    const QJsonObject gone
        = call("device.param.get", QStringLiteral(R"({"device_id": %1, "pid": "version"})").arg(id));
    EXPECT_EQ(gone.value("error").toObject().value("code").toInt(), -32603);
    EXPECT_TRUE(call("application.quit", "{}").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

TEST_F(DaliOverHttp, ALateAnswererIsNotTakenForAnotherAndABusWithoutSupplyIsAnError)
{
    startOn(R"({"boxes": [
        {"serial": 1, "dali": [{"model": "dali_gear", "random_seed": 3},
                               {"model": "dali_gear", "random_seed": 4, "answer_late": true}]},
        {"serial": 2, "dali": [{"model": "dali_gear", "bus_supply": false}]}]})");
    const QJsonArray boxes
        = call("universe.search", R"({"interface_type": "usb"})").value("result").toArray();
    ASSERT_EQ(boxes.size(), 2);
    int universes[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
        for (const QJsonValue& child : boxes[i].toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == "dali")
                universes[i] = child.toObject().value("universe_id").toInt();
        }
    }
    const QJsonArray found = commission(universes[0]);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first().toObject().value("device_name").toString(), "DALI short 0 device");
    // Asking the short addresses again adds no second device for address 0.
    const QJsonObject present = call("universe.search",
        QStringLiteral(R"({"universe_id": %1, "search_method": "existing"})").arg(universes[0]));
    EXPECT_TRUE(present.value("result").toArray().isEmpty());

    const QJsonObject noSupply = step(universes[1], "initialise_all");
    EXPECT_EQ(noSupply.value("error").toObject().value("code").toInt(), -32603);
    EXPECT_TRUE(noSupply.value("error").toObject().value("message").toString().contains(
        "\"DALI\" failed: Transfer failed. The DALI bus has no supply"))
        << QJsonDocument(noSupply).toJson().toStdString();
}

} // namespace
