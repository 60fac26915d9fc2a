#include "http_test_client.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::HttpTestClient;
using qmtest::ServiceProcess;

namespace {

// The service on the simulated bench: lightshape profiles need no device.
class LightshapeOverHttp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port = qmtest::freeLoopbackPort();
        service.environment().insert(
            "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }

    // The reply's "result", or its "error" object.
    QJsonObject call(const char* method, const QJsonObject& params)
    {
        HttpTestClient client(port);
        const QJsonObject body {{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}};
        const auto reply = client.request("POST", "/", {{"Content-Type", "application/json-rpc"}},
            QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString());
        EXPECT_TRUE(reply.ok);
        const QJsonObject message = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
        if (message.contains("error"))
            return message["error"].toObject();
        return QJsonObject {{"result", message["result"]}};
    }

    ServiceProcess service;
    int port = 0;
};

QJsonObject twInputs()
{
    return QJsonObject {{"strategy", "tw"}, {"optimization_method", "constant"}, {"cct_min", 2700},
        {"cct_max", 6500}, {"cct_1", 2700}, {"cct_2", 6500}, {"lumens_1", 1000}, {"lumens_2", 1100},
        {"lumens_max", 1000}};
}

QJsonObject wdInputs()
{
    return QJsonObject {{"strategy", "wd"}, {"optimization_method", "constant"}, {"cct_min", 1900},
        {"cct_max", 2500}, {"cct_1", 1800}, {"cct_2", 2500}, {"lumens_1", 800}, {"lumens_2", 1000},
        {"lumens_max", 1000}};
}

QJsonObject with(QJsonObject inputs, const QString& key, const QJsonValue& value)
{
    inputs[key] = value;
    return inputs;
}

// Inputs of the versions that model LEDs and driver: 2700 K and 6500 K LEDs at 350 mA.
QJsonObject modelled(const char* version, const char* strategy)
{
    return QJsonObject {{"version", version}, {"strategy", strategy}, {"optimization_method", "unused"},
        {"cct_min", 2700}, {"cct_max", 6500}, {"cct_1", 2700}, {"cct_2", 6500}, {"lumens_1", 1000},
        {"lumens_2", 1100}, {"lumens_max", 1000}, {"current_cs1", 350}, {"current_cs2", 350}, {"vf1", 3},
        {"vf2", 3}, {"vsupply", 48}};
}

} // namespace

TEST_F(LightshapeOverHttp, CreateAndVerifyProfiles)
{
    // The test library, with its adjusted pass.
    const QJsonObject test = QJsonObject {{"version", "0.0"}, {"param1", 1}, {"param2", 2}, {"param3", 3},
        {"strategy", "x"}, {"cct_1", 0}, {"cct_2", 0}, {"lumens_1", 1000}, {"lumens_2", 1000}, {"cct_max", 0},
        {"cct_min", 0}, {"lumens_max", 0}, {"optimization_method", "x"}};
    const QJsonObject fake = call("lightshape.profile.create", test)["result"].toObject();
    EXPECT_EQ(fake["bytes"].toArray(), (QJsonArray {0, 0, 0, 0, 0, 71, 1, 1, 1, 71, 2, 2, 2, 255}));
    EXPECT_EQ(fake["adjusted_lumens_1"].toInt(), 3); // floor(1000 / 255)
    EXPECT_EQ(fake["adjusted_current_cs2"].toInt(), 150);

    const QJsonObject blt
        = call("lightshape.profile.create", with(twInputs(), "strategy", "blt"))["result"].toObject();
    EXPECT_EQ(blt["bytes"].toArray().size(), 23);

    const struct
    {
        const char* name;
        QJsonObject inputs;
        int descriptorSize;
        int points;
    } profiles[] = {
        {"tw", twInputs(), 14, 65},
        {"tw dt8", with(twInputs(), "dali_device_type_8", true), 12, 65},
        {"wd", wdInputs(), 16, 129},
        {"wd dt8 false", with(wdInputs(), "dali_device_type_8", false), 16, 129},
    };
    for (const auto& p : profiles) {
        const QJsonObject result = call("lightshape.profile.create", p.inputs)["result"].toObject();
        const QJsonArray bytes = result["bytes"].toArray();
        EXPECT_EQ(result["curve1"].toArray().size(), p.points) << p.name;
        EXPECT_EQ(bytes.size(), p.descriptorSize + 2 * (p.points + 1) + 1) << p.name;
        EXPECT_EQ(bytes[p.descriptorSize].toInt(), p.points == 65 ? 66 : 65) << p.name;
        EXPECT_EQ(
            call("lightshape.profile.verify", with(p.inputs, "bytes", bytes))["result"], QJsonValue(true))
            << p.name;
        QJsonArray changed = bytes;
        changed[p.descriptorSize + 5] = changed[p.descriptorSize + 5].toInt() ^ 1;
        EXPECT_EQ(
            call("lightshape.profile.verify", with(p.inputs, "bytes", changed))["result"], QJsonValue(false))
            << p.name;
    }
}

TEST_F(LightshapeOverHttp, ModelledVersionsCreateAndVerifyProfiles)
{
    const struct
    {
        const char* name;
        QJsonObject inputs;
        int size;
    } profiles[] = {
        {"1.1 tw", modelled("1.1", "tw"), 147},
        {"1.1 tw dt8", with(modelled("1.1", "tw"), "dali_device_type_8", true), 145},
        {"1.1 wd", modelled("1.1", "wd"), 145},
        {"1.1 tw perfect_life", with(modelled("1.1", "tw"), "optimization_strategy", "perfect_life"), 147},
        {"1.3 tw", modelled("1.3", "tw"), 147},
        {"1.3 tw dt8", with(modelled("1.3", "tw"), "dali_device_type_8", true), 145},
        {"1.3 wd", modelled("1.3", "wd"), 145},
        {"1.3 tw perfect_life", with(modelled("1.3", "TW"), "optimization_strategy", "PERFECT_LIFE"), 147},
    };
    for (const auto& p : profiles) {
        const QJsonObject result = call("lightshape.profile.create", p.inputs)["result"].toObject();
        const QJsonArray bytes = result["bytes"].toArray();
        ASSERT_EQ(bytes.size(), p.size) << p.name;
        EXPECT_EQ(bytes[p.size - 2 * 66 - 1].toInt(), 66) << p.name;
        EXPECT_EQ(result["adjustedBytes"].toArray().size(), p.size) << p.name;
        EXPECT_EQ(
            call("lightshape.profile.verify", with(p.inputs, "bytes", bytes))["result"], QJsonValue(true))
            << p.name;
        const bool v13 = p.inputs["version"] == "1.3";
        EXPECT_EQ(result.contains("CCTset"), v13) << p.name;
        if (!v13)
            continue;
        const QJsonArray cct = result["CCTset"].toArray();
        const QJsonArray power = result["Ptot"].toArray();
        ASSERT_EQ(cct.size(), 65) << p.name;
        ASSERT_EQ(power.size(), 65) << p.name;
        for (const QJsonValue& v : power)
            EXPECT_TRUE(v.isDouble()) << p.name; // a JSON null would not be
        // The kelvin path runs from cct_max to cct_min (of the adjusted pass,
        // which keeps the CCTs); DT8 follows mirek from 154 to 370.
        const bool dt8 = p.inputs["dali_device_type_8"].toBool();
        EXPECT_EQ(cct.first().toInt(), dt8 ? 6493 : 6500) << p.name;
        EXPECT_EQ(cct.last().toInt(), dt8 ? 2702 : 2700) << p.name;
    }
}

TEST_F(LightshapeOverHttp, FailuresAreClearErrors)
{
    const struct
    {
        QJsonObject params;
        const char* message; // contained
    } cases[] = {
        {with(twInputs(), "version", "1.2"), "Invalid library version '1.2'"},
        {with(modelled("1.3", "tw"), "optimization_strategy", "open_loop"),
            "optimization strategy 'open_loop' computes no curve levels in library version 1.3"},
        {with(modelled("1.1", "tw"), "cct_2", 999), "Parameter cct_2 must lie in 1000..25000, not 999"},
        {with(modelled("1.3", "tw"), "vsupply", 0),
            "Parameter vsupply must be a positive whole number, not 0"},
        {with(modelled("1.3", "twdt8"), "dali_device_type_8", false),
            "Invalid light shape strategy code 'twdt8'"},
        {with(modelled("1.1", "wd"), "dali_device_type_8", true),
            "Warm dimming strategy not available for dali color dt8"},
        {with(wdInputs(), "dali_device_type_8", true),
            "Warm dimming strategy not available for dali color dt8"},
        {with(twInputs(), "cct_min", 6500), "Parameter cct_min (6500) must be below cct_max (6500)"},
        {with(twInputs(), "lumens_1", 40000), "Parameter lumens_1 must lie in 1..32767, not 40000"},
    };
    for (const auto& c : cases) {
        const QJsonObject error = call("lightshape.profile.create", c.params);
        EXPECT_EQ(error["code"].toInt(), -32603);
        EXPECT_TRUE(error["message"].toString().contains(QLatin1String(c.message)))
            << error["message"].toString().toStdString();
    }
}
