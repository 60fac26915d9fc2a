#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

// The GTIN a gear keeps in locations 3 to 8 of memory bank 0.
constexpr quint8 Gtin[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

// What a client sees of the DALI waits over HTTP, on boxes whose host runs its
// monitor thread late after every request (the request thread runs ahead): a
// box that reports time-out events (firmware 21) and one that does not
// (firmware 15, with another master on its bus).
class DaliRecordsEndToEnd : public ::testing::Test
{
protected:
    static QJsonObject box(int serial, int firmware, const QJsonObject& holdBack, bool otherMaster)
    {
        QJsonArray dali {
            QJsonObject {{"model", "dali_gear"}, {"short_address", 0}, {"gtin", "0x112233445566"}}};
        if (otherMaster)
            dali.append(QJsonObject {{"model", "dali_master"}, {"period_ms", 20}});
        return QJsonObject {
            {"serial", serial}, {"firmware", firmware}, {"dali", dali}, {"monitor_hold_back", holdBack}};
    }

    // Starts the service on the two boxes; their DALI universes by firmware.
    void start(const QJsonObject& holdBack)
    {
        const QJsonObject bench {
            {"boxes", QJsonArray {box(1, 21, holdBack, false), box(2, 15, holdBack, true)}}};
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServingOnBench(port, QJsonDocument(bench).toJson()))
            << service.standardError().toStdString();
        const QJsonArray boxes
            = call("universe.search", R"({"interface_type": "usb"})").value("result").toArray();
        ASSERT_EQ(boxes.size(), 2);
        for (const QJsonValue& found : boxes) {
            for (const QJsonValue& child : found.toObject().value("child_universes").toArray()) {
                if (child.toObject().value("interface_type").toString() == "dali")
                    (found.toObject().value("version").toInt() == 21 ? eventBox : quietBox)
                        = child.toObject().value("universe_id").toInt();
            }
        }
        ASSERT_GT(eventBox, 0);
        ASSERT_GT(quietBox, 0);
    }

    QJsonObject call(const std::string& method, const QString& params)
    {
        return qmtest::rpcCallText(port, method, params.toStdString());
    }

    QJsonObject send(int universe, int address, int command, bool awaited)
    {
        return call("dali.send",
            QStringLiteral(R"({"universe_id": %1, "bytes": [%2, %3], "expect_answer": %4})")
                .arg(universe)
                .arg(address)
                .arg(command)
                .arg(awaited ? "true" : "false"))
            .value("result")
            .toObject();
    }

    static QJsonObject reply(int byte)
    {
        return QJsonObject {{"status", "reply"}, {"bytes", QJsonArray {byte}}};
    }
    static QJsonObject statusAndBytes(const QJsonObject& result)
    {
        QJsonObject kept {{"status", result.value("status")}};
        if (result.contains("bytes"))
            kept.insert("bytes", result.value("bytes"));
        return kept;
    }
    static std::string text(const QJsonObject& object)
    {
        return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    }

    ServiceProcess service;
    int port = 0;
    int eventBox = 0;
    int quietBox = 0;
};

// An unawaited READ MEMORY LOCATION (or QUERY ACTUAL LEVEL, then a DAPC), then
// the same query awaited: the awaited one answers its own location (level),
// never the unawaited one's, on both boxes.
TEST_F(DaliRecordsEndToEnd, AnAwaitedQueryAfterAnUnawaitedOneGetsItsOwnAnswer)
{
    start(QJsonObject {{"one_in", 1}, {"max_ms", 30}, {"seed", 5}});
    for (int universe : {eventBox, quietBox}) {
        for (int round = 0; round < 25; ++round) {
            const int location = 3 + round % 5;
            ASSERT_EQ(send(universe, 0xC3, 0, false).value("status").toString(), "ok");        // DTR1: bank 0
            ASSERT_EQ(send(universe, 0xA3, location, false).value("status").toString(), "ok"); // DTR0
            ASSERT_EQ(
                send(universe, 0x01, 0xC5, false).value("status").toString(), "ok"); // READ MEMORY LOCATION
            EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0xC5, true))), text(reply(Gtin[location - 2])))
                << "universe " << universe << ", location " << location + 1;

            const int level = 20 + round;
            ASSERT_EQ(
                send(universe, 0x01, 0xA0, false).value("status").toString(), "ok"); // QUERY ACTUAL LEVEL
            ASSERT_EQ(send(universe, 0x00, level, false).value("status").toString(), "ok"); // DAPC
            EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0xA0, true))), text(reply(level)))
                << "universe " << universe << ", round " << round;
        }
    }
}

// Another master's frames every 20 ms on the box without time-out events: a
// silent address is "timeout" (nobody answered), never an interface failure,
// and a step search commissions the gear.
TEST_F(DaliRecordsEndToEnd, AnotherMasterOnTheBusLeavesNoAnswerAndTheSearchAlone)
{
    start(QJsonObject {{"one_in", 1}, {"max_ms", 30}, {"seed", 6}});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(text(statusAndBytes(send(quietBox, 0x13, 0x91, true))),
            text(QJsonObject {{"status", "timeout"}}));
        EXPECT_EQ(text(statusAndBytes(send(quietBox, 0x01, 0x91, true))), text(reply(0xFF)));
    }
    const auto step = [this](const char* name) {
        return call("universe.search",
            QStringLiteral(R"({"universe_id": %1, "search_method": "step", "search_step_name": "%2"})")
                .arg(quietBox)
                .arg(QLatin1String(name)));
    };
    ASSERT_TRUE(step("initialise_all").contains("result"));
    int found = 0;
    for (int request = 0; request < 4; ++request) {
        const QJsonObject result = step("search_single");
        ASSERT_TRUE(result.contains("result")) << text(result);
        if (result.value("result").toArray().isEmpty())
            break;
        for (const QJsonValue& device : result.value("result").toArray())
            found += device.toObject().contains("device_id") ? 1 : 0;
    }
    EXPECT_TRUE(step("end_search").contains("result"));
    EXPECT_EQ(found, 1);
}

// A host that runs the monitor 3.5 s late after every request, past the 3 s
// guard: the queries are still answered, and the log reports no silent box.
TEST_F(DaliRecordsEndToEnd, AMonitorLaterThanTheGuardStillGivesTheAnswer)
{
    start(QJsonObject {{"one_in", 1}, {"min_ms", 3500}, {"max_ms", 3500}});
    for (int universe : {eventBox, quietBox})
        EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0x91, true))), text(reply(0xFF)));
    EXPECT_FALSE(service.log().contains("reported nothing"));
}

} // namespace
