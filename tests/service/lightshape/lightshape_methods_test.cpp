#include "fake_product_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/lightshape/rpc_lightshape_profile_create.h"
#include "service/rpc/rpc_methods/lightshape/rpc_lightshape_profile_verify.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <cmath>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

struct Outcome
{
    int code = 0; // 0 or the JSON-RPC error code
    QString message;
    QJsonValue result;
};

class LightshapeMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AbstractRpcMethod::setDatabase(std::make_shared<test::FakeProductDatabase>(true));
        QLoggingCategory::setFilterRules(QStringLiteral("lightshape.colorlibrary.debug=false"));
    }
    void TearDown() override { AbstractRpcMethod::setDatabase(nullptr); }

    // Runs the method as the server does, with these params (a JSON object text).
    Outcome run(AbstractRpcMethod& method, const QString& params)
    {
        RpcRequest request;
        const QString body = QStringLiteral(R"({"jsonrpc":"2.0","id":1,"method":"%1","params":%2})")
                                 .arg(method.getName(), params);
        EXPECT_TRUE(request.parseJsonRpc(body)) << body.toStdString();
        RpcResponse response;
        Outcome outcome;
        try {
            method.execute(&request, &response, true);
            outcome.result = response.toJsonObject().value("result");
        } catch (const JsonRpcException& e) {
            outcome.code = e.code();
            outcome.message = e.message();
        }
        return outcome;
    }

    RpcLightshapeProfileCreate create;
    RpcLightshapeProfileVerify verify;
};

const QString testInputs = QStringLiteral(R"({"version":"0.0","param1":1,"param2":2,"param3":3,"strategy":"x",
    "cct_1":0,"cct_2":0,"lumens_1":1000,"lumens_2":500,"cct_max":0,"cct_min":0,"lumens_max":0,
    "optimization_method":"x"})");

QString withBytes(const QString& inputs, const QJsonValue& bytes)
{
    QJsonObject object = QJsonDocument::fromJson(inputs.toUtf8()).object();
    object["bytes"] = bytes;
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString twInputs(int lumens1)
{
    return QStringLiteral(R"({"strategy":"tw","optimization_method":"constant","cct_min":2700,"cct_max":6500,
        "cct_1":2700,"cct_2":6500,"lumens_1":%1,"lumens_2":1100,"lumens_max":1000})")
        .arg(lumens1);
}

} // namespace

TEST_F(LightshapeMethods, TestLibraryGetsTheAdjustedPass)
{
    const Outcome outcome
        = run(create, testInputs.chopped(1) + QStringLiteral(R"(,"current_cs1":10000,"current_cs2":30000})"));
    ASSERT_EQ(outcome.code, 0) << outcome.message.toStdString();
    const QJsonObject result = outcome.result.toObject();
    const QJsonArray profile = QJsonArray {0, 0, 0, 0, 0, 71, 1, 1, 1, 71, 2, 2, 2, 255};
    EXPECT_EQ(result["bytes"].toArray(), profile);
    EXPECT_EQ(result["curve1"].toArray(), (QJsonArray {1, 1, 1}));
    EXPECT_EQ(result["curve2"].toArray(), (QJsonArray {2, 2, 2}));
    // Factors 1/255 and 2/255: 10000 / 255 = 39 is raised to 150; 30000 * 2 / 255 = 235.3.
    EXPECT_EQ(result["adjusted_current_cs1"].toInt(), 150);
    EXPECT_EQ(result["adjusted_current_cs2"].toInt(), 235);
    EXPECT_EQ(result["adjusted_lumens_1"].toInt(), int(std::floor(1 / 255.0 * 1000)));
    EXPECT_EQ(result["adjusted_lumens_2"].toInt(), int(std::floor(2 / 255.0 * 500)));
    EXPECT_EQ(result["adjustedBytes"].toArray(), profile);
    EXPECT_EQ(result["adjustedCurve2"].toArray(), (QJsonArray {2, 2, 2}));
    EXPECT_FALSE(result.contains("CCTset"));

    // Without currents both adjusted currents are 150.
    const QJsonObject plain = run(create, testInputs).result.toObject();
    EXPECT_EQ(plain["adjusted_current_cs1"].toInt(), 150);
    EXPECT_EQ(plain["adjusted_current_cs2"].toInt(), 150);
}

TEST_F(LightshapeMethods, Version10HasNoAdjustedPass)
{
    const Outcome outcome
        = run(create, QStringLiteral(R"({"strategy":"blt","optimization_method":"max","cct_min":0,
        "cct_max":0,"cct_1":0,"cct_2":0,"lumens_1":0,"lumens_2":0,"lumens_max":0})"));
    ASSERT_EQ(outcome.code, 0) << outcome.message.toStdString();
    const QJsonObject result = outcome.result.toObject();
    EXPECT_EQ(result.keys(), (QStringList {"bytes", "curve1", "curve2"}));
    EXPECT_EQ(result["bytes"].toArray().size(), 23);
    EXPECT_EQ(result["curve2"].toArray(), (QJsonArray {255, 231, 206, 178, 148, 116, 80, 42, 0}));
}

TEST_F(LightshapeMethods, VerifyIsTrueOnlyForTheExactBytes)
{
    for (const QString& inputs : {testInputs, twInputs(1000)}) {
        const QJsonArray bytes = run(create, inputs).result.toObject()["bytes"].toArray();
        ASSERT_FALSE(bytes.isEmpty());
        QJsonArray changed = bytes, missing = bytes, extra = bytes, text = bytes, fraction = bytes;
        changed[6] = changed[6].toInt() + 1;
        missing.removeLast();
        extra.append(255);
        text[0] = QStringLiteral("x");         // the test library's first byte is 0
        fraction[1] = bytes[1].toInt() + 0.25; // not a byte value at all
        const struct
        {
            QJsonValue given;
            bool same;
        } cases[] = {{bytes, true}, {changed, false}, {missing, false}, {extra, false}, {text, false},
            {fraction, false}, {QJsonValue("[0]"), false}, {QJsonValue(QJsonValue::Null), false}};
        for (const auto& c : cases) {
            const Outcome outcome = run(verify, withBytes(inputs, c.given));
            ASSERT_EQ(outcome.code, 0) << outcome.message.toStdString();
            EXPECT_EQ(outcome.result, QJsonValue(c.same))
                << QJsonDocument(QJsonArray {c.given}).toJson().constData();
        }
    }
}

TEST_F(LightshapeMethods, ProfileMadeEarlierStillVerifiesAfterAnother)
{
    // The engine keeps process-wide results: B's computation must not leak
    // into the verification of A.
    const QJsonArray a = run(create, twInputs(1000)).result.toObject()["bytes"].toArray();
    const QJsonArray b = run(create, twInputs(3000)).result.toObject()["bytes"].toArray();
    ASSERT_NE(a, b);
    EXPECT_EQ(run(verify, withBytes(twInputs(1000), a)).result, QJsonValue(true));
    EXPECT_EQ(run(verify, withBytes(twInputs(3000), a)).result, QJsonValue(false));
}

TEST_F(LightshapeMethods, UnknownVersionsAndBadInputsFail)
{
    const struct
    {
        QString params;
        int code;
        const char* message; // contained
    } cases[] = {
        {testInputs.chopped(1).replace("\"0.0\"", "\"1.1\"") + "}", -32603,
            "is required and not provided in list of input parameters"},
        {testInputs.chopped(1).replace("\"0.0\"", "\"1.3\"") + "}", -32603,
            "is required and not provided in list of input parameters"},
        {testInputs.chopped(1).replace("\"0.0\"", "\"1.2\"") + "}", -32603, "Invalid library version '1.2'"},
        {testInputs.chopped(1).replace("\"0.0\"", "1") + "}", -32602, "parameter version must be a string"},
        {twInputs(40000), -32603, "Parameter lumens_1 must lie in 1..32767, not 40000"},
        {QStringLiteral(R"({"strategy":"tw"})"), -32602, "Parameter 'cct_1' required"},
        // After the failures the method makes a library again.
        {testInputs, 0, ""},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(create, c.params);
        EXPECT_EQ(outcome.code, c.code) << c.params.toStdString();
        EXPECT_TRUE(outcome.message.contains(QLatin1String(c.message))) << outcome.message.toStdString();
    }
    EXPECT_EQ(run(verify, testInputs).code, -32602); // "bytes" is required
}

namespace {

QString modelledInputs(const char* version, const char* extra = "")
{
    return QStringLiteral(R"({"version":"%1","strategy":"tw","optimization_method":"unused","cct_min":2700,
        "cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,
        "current_cs1":350,"current_cs2":350,"vf1":3,"vf2":3,"vsupply":48%2})")
        .arg(QLatin1String(version), QLatin1String(extra));
}

} // namespace

TEST_F(LightshapeMethods, ModelledVersionsCreateAndVerify)
{
    for (const char* version : {"1.1", "1.3"}) {
        const Outcome outcome = run(create, modelledInputs(version));
        ASSERT_EQ(outcome.code, 0) << outcome.message.toStdString();
        const QJsonObject result = outcome.result.toObject();
        const QJsonArray bytes = result["bytes"].toArray();
        EXPECT_EQ(bytes.size(), 147);
        EXPECT_EQ(result["curve1"].toArray().size(), 65);

        // The adjusted pass scales the currents and lumens by the curves' peaks.
        int max1 = 0, max2 = 0;
        for (const QJsonValue& v : result["curve1"].toArray())
            max1 = std::max(max1, v.toInt());
        for (const QJsonValue& v : result["curve2"].toArray())
            max2 = std::max(max2, v.toInt());
        EXPECT_EQ(
            result["adjusted_current_cs1"].toInt(), std::max(int(std::floor(350 * (max1 / 255.0))), 150));
        EXPECT_EQ(
            result["adjusted_current_cs2"].toInt(), std::max(int(std::floor(350 * (max2 / 255.0))), 150));
        EXPECT_EQ(result["adjusted_lumens_1"].toInt(), int(std::floor(max1 / 255.0 * 1000)));
        EXPECT_EQ(result["adjusted_lumens_2"].toInt(), int(std::floor(max2 / 255.0 * 1100)));
        EXPECT_EQ(result["adjustedBytes"].toArray().size(), 147);
        EXPECT_EQ(result["adjustedCurve2"].toArray().size(), 65);

        // Only 1.3 reports colour temperatures and powers, 65 finite numbers each.
        EXPECT_EQ(result.contains("CCTset"), QLatin1String(version) == "1.3");
        EXPECT_EQ(result.contains("Ptot"), QLatin1String(version) == "1.3");
        if (result.contains("CCTset")) {
            const QJsonArray cct = result["CCTset"].toArray();
            const QJsonArray power = result["Ptot"].toArray();
            ASSERT_EQ(cct.size(), 65);
            ASSERT_EQ(power.size(), 65);
            for (int i = 0; i < 65; ++i) {
                EXPECT_TRUE(cct[i].isDouble() && std::isfinite(cct[i].toDouble()));
                EXPECT_TRUE(
                    power[i].isDouble() && std::isfinite(power[i].toDouble()) && power[i].toDouble() > 0);
            }
        }

        EXPECT_EQ(run(verify, withBytes(modelledInputs(version), bytes)).result, QJsonValue(true)) << version;
        QJsonArray changed = bytes;
        changed[20] = changed[20].toInt() ^ 1;
        EXPECT_EQ(run(verify, withBytes(modelledInputs(version), changed)).result, QJsonValue(false))
            << version;
        // The mode changes the profile; without "optimization_strategy" it is feed_forward.
        EXPECT_EQ(run(verify,
                      withBytes(modelledInputs(version, R"(,"optimization_strategy":"feed_forward")"), bytes))
                      .result,
            QJsonValue(true));
        EXPECT_EQ(run(verify,
                      withBytes(modelledInputs(version, R"(,"optimization_strategy":"perfect_life")"), bytes))
                      .result,
            QJsonValue(false));
    }
}
