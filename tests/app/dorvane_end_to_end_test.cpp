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

QString sourcePath(const QString& relative)
{
    return QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + QLatin1Char('/') + relative;
}

// The service on the default bench, called over HTTP.
class DorvaneService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service.environment().insert("QM_SIM_BENCH", sourcePath("sim/benches/default.json"));
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }
    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit").contains("result"));
        EXPECT_EQ(service.waitForExit(60000), 0);
    }

    QJsonObject call(const std::string& method, const QJsonObject& params = {})
    {
        HttpTestClient client(port);
        const std::string body = QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString();
        const HttpReply reply = client.request(
            "POST", "/", {{"Content-Type", "application/json-rpc"}}, qmtest::rpcBody(method, "1", body));
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
        if (object.isEmpty())
            ADD_FAILURE() << method << " " << body << ": " << reply.body
                          << service.standardError().toStdString();
        return object;
    }
    QJsonValue result(const std::string& method, const QJsonObject& params = {})
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result"))
            << method << ": " << QJsonDocument(reply).toJson().toStdString();
        return reply.value("result");
    }

    ServiceProcess service;
    int port = 0;
};

// A type without features: its creation runs no scripts on the request thread.
TEST_F(DorvaneService, DeviceCreateAddsVirtualDevicesToOneUniverse)
{
    const QString type = QStringLiteral("0000fe_Ostrevanne Bootloader_Bootloader");
    const QJsonObject made = result("device.create", {{"profile_type", type}}).toObject();
    const QJsonObject again = result("device.create", {{"profile_type", type}}).toObject();
    EXPECT_NE(made.value("device_id").toInt(), again.value("device_id").toInt());
    EXPECT_EQ(made.value("universe_id"), again.value("universe_id"));
    EXPECT_EQ(made.value("profile_type").toString(), type);
    EXPECT_EQ(made.value("version").toInt(), 271);
    EXPECT_EQ(made.value("device_name").toString(), QStringLiteral("Ostrevanne Bootloader"));
    int virtualUniverses = 0;
    for (const QJsonValue& universe : result("universe.list").toArray())
        virtualUniverses += universe.toObject().value("universe_name").toString() == QLatin1String("Virtual");
    EXPECT_EQ(virtualUniverses, 1);
    EXPECT_EQ(result("device.list").toArray().size(), 2);

    const QJsonObject unknown = call("device.create", {{"profile_type", "000000_Nothing_DMX"}});
    EXPECT_EQ(unknown.value("error").toObject().value("code").toInt(), -32603);
    const QString message = unknown.value("error").toObject().value("message").toString();
    EXPECT_TRUE(message.contains(QStringLiteral("profile type 000000_Nothing_DMX not found in database.")))
        << message.toStdString();
}

} // namespace
