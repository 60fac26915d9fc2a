#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <set>

using qmtest::ServiceProcess;

namespace {

// Every method the service lists, each declared parameter given values of the
// wrong kind or out of any range: each request gets a JSON-RPC result or a
// JSON-RPC error of a known code, and the service stays up and ends cleanly.
TEST(RequestSweep, EveryMethodAnswersMalformedParametersWithAResultOrAClearError)
{
    ServiceProcess service;
    service.environment().insert(
        "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();

    const auto call = [port](const QString& method, const QJsonValue& params) {
        return qmtest::rpcCall(port, method.toStdString(), params);
    };

    // The drivers of the bench found, so that device methods reach them.
    const QJsonArray boxes
        = call("universe.search", QJsonObject {{"interface_type", "usb"}}).value("result").toArray();
    ASSERT_FALSE(boxes.isEmpty());
    for (const QJsonValue& universe : call("universe.list", QJsonValue()).value("result").toArray()) {
        const QString type = universe.toObject().value("interface_type").toString();
        if (type == "dmx" || type == "dorvane")
            call("universe.search", QJsonObject {{"universe_id", universe.toObject().value("universe_id")}});
    }

    const std::set<QString> ending {"application.quit", "application.restart", "application.reset"};
    const std::set<int> codes {-32000, -32600, -32601, -32602, -32603, -32700};
    const QJsonValue values[] = {QJsonValue(), -1, 9223372036854775807.0, 1.5, "", "../../x",
        QJsonArray {1, 300}, QJsonObject {}, QJsonObject {{"start_address", -1}}, true};
    int requests = 0;
    for (const QJsonValue& name : call("system.listMethods", QJsonValue()).value("result").toArray()) {
        const QString method = name.toString();
        if (ending.count(method))
            continue;
        QStringList keys {"unknown_key"};
        for (const QJsonValue& p :
            call("system.method.params.list", QJsonObject {{"method", method}}).value("result").toArray())
            keys << p.toObject().value("name").toString();
        for (const QString& key : keys) {
            for (const QJsonValue& value : values) {
                QJsonObject params {{"api_version", 1}};
                params.insert(key, value);
                const QJsonObject reply = call(method, params);
                ++requests;
                const std::string where = method.toStdString() + " " + key.toStdString() + "="
                    + QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact).toStdString();
                ASSERT_TRUE(reply.contains("result") || reply.contains("error"))
                    << where << "\n"
                    << service.standardError().toStdString();
                if (!reply.contains("error"))
                    continue;
                const QJsonObject error = reply.value("error").toObject();
                EXPECT_TRUE(codes.count(error.value("code").toInt())) << where;
                EXPECT_FALSE(
                    error.value("message").toString().contains("nknown exception", Qt::CaseInsensitive))
                    << where << ": " << error.value("message").toString().toStdString();
            }
        }
    }
    EXPECT_GT(requests, 1000);

    EXPECT_TRUE(call("application.quit", QJsonValue()).contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
}

} // namespace
