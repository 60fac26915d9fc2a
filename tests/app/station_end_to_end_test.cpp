#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

// A production test station's script over HTTP against the service on the
// station bench: a Corvalt 560 on the Dorvane port, a Wystrel driver on DMX,
// DALI gear.
class StationScript : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The station's profile file, as the README has it copied into the profile folder.
        const QString source = QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR"));
        const QString profiles = service.folder() + "/data/Tarvesk/Quinmark Server/profiles";
        ASSERT_TRUE(QDir().mkpath(profiles));
        ASSERT_TRUE(QFile::copy(source + "/sim/benches/profiles/station.json", profiles + "/station.json"));
        service.environment().insert("QM_SIM_BENCH", source + "/sim/benches/station.json");
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }
    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit").contains("result"));
        // Under the sanitizers a leak ends the process with another code.
        EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
    }

    QJsonObject call(const std::string& method, const QJsonObject& params = {})
    {
        const QJsonObject object = qmtest::rpcCall(port, method, params);
        if (object.isEmpty())
            ADD_FAILURE() << method << " " << QJsonDocument(params).toJson().toStdString() << ": no reply";
        return object;
    }
    QJsonValue result(const std::string& method, const QJsonObject& params = {})
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result"))
            << method << ": " << QJsonDocument(reply).toJson().toStdString();
        return reply.value("result");
    }
    int errorCode(const std::string& method, const QJsonObject& params)
    {
        return call(method, params).value("error").toObject().value("code").toInt();
    }
    // The unit on that bus, found again: every search replaces the devices found before.
    int unit(const char* protocol)
    {
        return result("uut.device.info", {{"protocol", protocol}, {"api_version", 1}})
            .toObject()
            .value("id")
            .toInt();
    }

    ServiceProcess service;
    int port = 0;
};

} // namespace

TEST_F(StationScript, LoadFindProgramVerifyConvert)
{
    // 1. The station's profile file, from the profile folder.
    const QJsonArray listed
        = result("uut.profiles.list", {{"path", "station.json"}, {"api_version", 1}}).toArray();
    EXPECT_EQ(listed,
        QJsonArray({QJsonObject {{"name", "Line 3"}, {"description", "Corvalt 560 for line 3"},
            {"profile_type", "Corvalt 560"}}}));

    // 2. The units on both buses.
    EXPECT_EQ(result("uut.device.info", {{"protocol", "dmx"}, {"api_version", 1}}).toObject().value("name"),
        "Stagebar Wystrel 2CH");
    EXPECT_EQ(
        result("uut.device.info", {{"protocol", "dorvane"}, {"api_version", 1}}).toObject().value("name"),
        "Corvalt 560");

    // 3. Program and verify the Dorvane unit.
    const int driver = unit("dorvane");
    ASSERT_NE(driver, 0);
    const QJsonObject job {{"device_id", driver}, {"profile_name", "Line 3"}, {"api_version", 1}};
    EXPECT_EQ(result("uut.profile.program", job), QJsonObject({{"success", true}}));
    EXPECT_EQ(result("device.param.get", {{"device_id", driver}, {"pid", "scene_1_output_1"}})
                  .toObject()
                  .value("value"),
        7);
    EXPECT_EQ(result("uut.profile.verify", job), QJsonObject({{"success", true}}));

    // 4. A value changed after programming is found.
    result("device.param.set", {{"device_id", driver}, {"pid", "scene_1_output_1"}, {"value", 9}});
    const QJsonObject changed = result("uut.profile.verify", job).toObject();
    EXPECT_EQ(changed.value("success"), false);
    EXPECT_EQ(changed.value("message"),
        "Parameter scene_1_output_1 does not match device parameter. Profile: 7, Device: 9");

    // 5. RB57: the start-up delay (250 ms on the bench) becomes 0, once.
    const QJsonObject rb57 {{"device_id", driver}, {"api_version", 1}};
    EXPECT_EQ(result("device.param.get", {{"device_id", driver}, {"pid", "extra_startup_delay"}})
                  .toObject()
                  .value("value"),
        250);
    EXPECT_EQ(result("uut.device.convert.rb57", rb57), QJsonObject({{"success", true}}));
    EXPECT_EQ(result("device.param.get", {{"device_id", driver}, {"pid", "extra_startup_delay"}})
                  .toObject()
                  .value("value"),
        0);
    EXPECT_EQ(errorCode("uut.device.convert.rb57", rb57), -32600);

    // The box carries no profile type: no profile suits it.
    EXPECT_EQ(
        errorCode("uut.profile.program", {{"device_id", 1}, {"profile_name", "Line 3"}, {"api_version", 1}}),
        -32603);

    // Every production-test method wants "api_version".
    const struct
    {
        const char* method;
        QJsonObject params;
    } withoutVersion[] = {
        {"uut.profiles.list", {}},
        {"uut.device.info", {{"protocol", "dorvane"}}},
        {"uut.profile.program", {{"device_id", driver}, {"profile_name", "Line 3"}}},
        {"uut.profile.verify", {{"device_id", driver}, {"profile_name", "Line 3"}}},
        {"uut.device.convert.rb57", {{"device_id", driver}}},
    };
    for (const auto& request : withoutVersion)
        EXPECT_EQ(errorCode(request.method, request.params), -32602) << request.method;
}

TEST_F(StationScript, ApplicationParameters)
{
    const QJsonArray parameters = result("application.param.list").toArray();
    ASSERT_EQ(parameters.size(), 7) << QJsonDocument(parameters).toJson().toStdString();
    EXPECT_EQ(parameters[0].toObject().value("value"), "Quinmark Server");
    EXPECT_EQ(parameters[1].toObject().value("value"), "2.66.8 (beta.1)");
    EXPECT_EQ(parameters[2].toObject().value("value"), "Tarvesk");
    EXPECT_EQ(
        parameters[6].toObject(), QJsonObject({{"pid", "rc_number"}, {"value", 8}, {"deprecated", true}}));
    EXPECT_EQ(result("application.param.get", {{"pid", "rc_number"}}),
        QJsonObject({{"pid", "rc_number"}, {"value", 8}}));

    // A new name leaves the profile folder where it was.
    result("application.param.set", {{"pid", "name"}, {"value", "../../x"}});
    EXPECT_EQ(result("application.param.get", {{"pid", "name"}}).toObject().value("value"), "../../x");
    EXPECT_EQ(
        result("uut.profiles.list", {{"path", "station.json"}, {"api_version", 1}}).toArray().size(), 1);
}
