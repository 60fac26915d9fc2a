#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

constexpr int GearCount = 64;

// 64 gear without short addresses on a box whose host runs its monitor thread
// late now and then (up to 300 ms after one request in 50): the step search a
// commissioning client runs must find every one of them, whatever the host did.
class DaliCommissioningUnderLoad : public ::testing::TestWithParam<int>
{
protected:
    QByteArray bench(int seed) const
    {
        QJsonArray gear;
        for (int i = 0; i < GearCount; ++i)
            gear.append(QJsonObject {{"model", "dali_gear"}, {"random_seed", 1000 * seed + i}});
        const QJsonObject box {{"serial", 1}, {"firmware", 21}, {"dali", gear},
            {"monitor_hold_back", QJsonObject {{"one_in", 50}, {"max_ms", 300}, {"seed", seed}}}};
        return QJsonDocument(QJsonObject {{"boxes", QJsonArray {box}}}).toJson();
    }

    QJsonObject call(const std::string& method, const QString& params)
    {
        return qmtest::rpcCallText(port, method, params.toStdString());
    }

    QJsonObject step(int universe, const char* name) { return qmtest::searchStep(port, universe, name); }

    ServiceProcess service;
    int port = 0;
};

TEST_P(DaliCommissioningUnderLoad, StepSearchFindsEveryGear)
{
    port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServingOnBench(port, bench(GetParam())))
        << service.standardError().toStdString();

    const QJsonArray boxes
        = call("universe.search", R"({"interface_type": "usb"})").value("result").toArray();
    ASSERT_EQ(boxes.size(), 1);
    int universe = -1;
    for (const QJsonValue& child : boxes.first().toObject().value("child_universes").toArray()) {
        if (child.toObject().value("interface_type").toString() == "dali")
            universe = child.toObject().value("universe_id").toInt();
    }
    ASSERT_GT(universe, 0);

    ASSERT_TRUE(step(universe, "initialise_all").contains("result"));
    QSet<QString> names;
    QStringList warnings;
    // The client's loop: "search_single" until it answers nothing.
    for (int request = 0; request < 2 * GearCount; ++request) {
        const QJsonObject reply = step(universe, "search_single");
        ASSERT_TRUE(reply.contains("result")) << QJsonDocument(reply).toJson().toStdString();
        int found = 0;
        for (const QJsonValue& entry : reply.value("result").toArray()) {
            const QJsonObject object = entry.toObject();
            if (object.contains("warning")) {
                warnings << object.value("warning").toString();
                continue;
            }
            names.insert(object.value("device_name").toString());
            ++found;
        }
        if (found == 0)
            break;
    }
    ASSERT_TRUE(step(universe, "end_search").contains("result"));
    EXPECT_EQ(names.size(), GearCount) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
    EXPECT_FALSE(service.log().contains("reported nothing on a DALI query"));
    EXPECT_TRUE(call("application.quit", "{}").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

INSTANTIATE_TEST_SUITE_P(TenSearches, DaliCommissioningUnderLoad, ::testing::Range(1, 11));

} // namespace
