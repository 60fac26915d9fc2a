#include "box_universes.h"
#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <utility>

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
        startBench(
            QJsonObject {{"boxes", QJsonArray {box(1, 21, holdBack, false), box(2, 15, holdBack, true)}}});
    }

    // Both boxes with the same bus models (and the same further keys, such as "drop_records").
    void startWithBus(const QJsonObject& holdBack, const QJsonArray& dali, const QJsonObject& keys = {})
    {
        QJsonArray boxes;
        for (const auto& [serial, firmware] : {std::pair {1, 21}, std::pair {2, 15}}) {
            QJsonObject box = keys;
            box.insert("serial", serial);
            box.insert("firmware", firmware);
            box.insert("dali", dali);
            if (!holdBack.isEmpty())
                box.insert("monitor_hold_back", holdBack);
            boxes.append(box);
        }
        startBench(QJsonObject {{"boxes", boxes}});
    }

    void startBench(const QJsonObject& bench)
    {
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServingOnBench(port, QJsonDocument(bench).toJson()))
            << service.standardError().toStdString();
        const qmtest::BoxUniverses found = qmtest::searchBoxUniverses(port, "dali");
        ASSERT_EQ(found.boxes, 2);
        eventBox = found.eventBox;
        quietBox = found.quietBox;
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

    // An awaited QUERY ACTUAL LEVEL of gear 0 answers `level`, or fails with a
    // clear error: never another value, never "timeout". Whether it answered.
    bool expectLevelOrAnError(int universe, int level)
    {
        const QJsonObject answer = call("dali.send",
            QStringLiteral(R"({"universe_id": %1, "bytes": [1, 160], "expect_answer": true})").arg(universe));
        if (answer.contains("result"))
            EXPECT_EQ(text(statusAndBytes(answer.value("result").toObject())), text(reply(level)))
                << "universe " << universe;
        else
            EXPECT_TRUE(answer.contains("error")) << text(answer);
        return text(statusAndBytes(answer.value("result").toObject())) == text(reply(level));
    }

    QJsonObject step(int universe, const char* name) { return qmtest::searchStep(port, universe, name); }

    int commissionOne(int universe) { return qmtest::commissionOneGear(port, universe); }

    // Gear 0 on both boxes, with another master that puts GROUP 15 RECALL MAX
    // LEVEL on the bus right before the box's query of the gear's current
    // protector (enabled: YES) and of its extended version number (8: 2.0), `count`
    // times each (0: before every one of them). Reads both parameters 4 times
    // on each box: each read gives the gear's value or "Too many retries".
    // The number of right reads.
    int deviceTypeQueries(int count)
    {
        QJsonArray dali {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}}};
        for (const int query : {0xFB, 0xFF}) {
            QJsonObject master {{"model", "dali_master"}, {"frame", QJsonArray {0x9F, 0x05}},
                {"period_ms", 1}, {"ahead_of", QJsonArray {0x01, query}}};
            if (count > 0)
                master.insert("count", count);
            dali.append(master);
        }
        startWithBus(QJsonObject {}, dali);
        int right = 0;
        for (int universe : {eventBox, quietBox}) {
            const int gear = commissionOne(universe);
            EXPECT_GT(gear, 0) << "universe " << universe;
            int errors = 0;
            for (int read = 0; read < 4; ++read) {
                for (const auto& [pid, value] :
                    {std::pair {"dali_207_current_protector_enabled", QJsonValue(true)},
                        std::pair {"dali_207_extended_version_number", QJsonValue(8)}}) {
                    const QJsonObject reply = call("device.param.get",
                        QStringLiteral(R"({"device_id": %1, "pid": "%2", "update": true})")
                            .arg(gear)
                            .arg(pid));
                    if (reply.contains("result")) {
                        EXPECT_EQ(reply.value("result").toObject().value("value"), value)
                            << pid << ", universe " << universe << ": " << text(reply);
                        ++right;
                    } else {
                        EXPECT_NE(text(reply).find("Too many retries"), std::string::npos) << text(reply);
                        ++errors;
                    }
                }
            }
            std::cout << "[ figures  ] other master " << (count > 0 ? "once" : "every time") << ", universe "
                      << universe << ": " << errors << " errors of 8" << std::endl;
        }
        return right;
    }

    // One step search: the gear it commissioned, or -1 when a step failed.
    int stepSearch(int universe)
    {
        if (!step(universe, "initialise_all").contains("result"))
            return -1;
        int found = 0;
        for (int request = 0; request < 8; ++request) {
            const QJsonObject result = step(universe, "search_single");
            if (!result.contains("result")) {
                ADD_FAILURE() << text(result);
                return -1;
            }
            if (result.value("result").toArray().isEmpty())
                break;
            for (const QJsonValue& device : result.value("result").toArray())
                found += device.toObject().contains("device_id") ? 1 : 0;
        }
        return step(universe, "end_search").contains("result") ? found : -1;
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

// The box is opened anew (a "usb" search) while its monitor runs 2.5 s behind:
// DAPC L1 and QUERY ACTUAL LEVEL, both unawaited, then the search, DAPC L2 and
// the query awaited. The records of the first query were made before the box
// was opened anew and reach no exchange after it: the answer is L2, or a clean
// failure, never L1.
TEST_F(DaliRecordsEndToEnd, RecordsFromBeforeTheBoxWasOpenedAnewReachNoLaterExchange)
{
    start(QJsonObject {{"one_in", 1}, {"min_ms", 2500}, {"max_ms", 2500}});
    const int rounds = 3;
    int right[2] = {0, 0};
    int wrong[2] = {0, 0};
    for (int round = 0; round < rounds; ++round) {
        const int before = 10 + round;
        const int after = 100 + round;
        for (int universe : {eventBox, quietBox}) {
            ASSERT_EQ(send(universe, 0x00, before, false).value("status").toString(), "ok");
            ASSERT_EQ(send(universe, 0x01, 0xA0, false).value("status").toString(), "ok");
        }
        const qmtest::BoxUniverses found = qmtest::searchBoxUniverses(port, "dali");
        ASSERT_EQ(found.boxes, 2);
        int box = 0;
        for (int universe : {found.eventBox, found.quietBox}) {
            ASSERT_EQ(send(universe, 0x00, after, false).value("status").toString(), "ok");
            const QJsonObject answer = statusAndBytes(send(universe, 0x01, 0xA0, true));
            right[box] += text(answer) == text(reply(after)) ? 1 : 0;
            wrong[box] += answer.value("status").toString() == "reply" && text(answer) != text(reply(after));
            EXPECT_NE(text(answer), text(reply(before))) << "box " << box << ", round " << round;
            ++box;
        }
        eventBox = found.eventBox;
        quietBox = found.quietBox;
    }
    for (int box : {0, 1}) {
        EXPECT_EQ(wrong[box], 0) << "box " << box;
        EXPECT_EQ(right[box], rounds) << "box " << box;
    }
}

// The box is opened anew while it holds more records than one monitor pass
// takes, with its monitor 2.5 to 3.5 s behind: DAPC L1, 40 unawaited DMX frames
// of 513 bytes, an unawaited QUERY ACTUAL LEVEL (answered L1), DAPC L2, then the
// search, then the query awaited. Only a pass that drained the box ends its
// priming: the awaited query answers L2, never L1, on both boxes.
TEST_F(DaliRecordsEndToEnd, ABoxOpenedAnewHoldingMoreThanOnePassTakesHandsNoOldAnswerOn)
{
    QJsonArray boxes;
    for (const auto& [serial, firmware] : {std::pair {1, 21}, std::pair {2, 15}}) {
        boxes.append(QJsonObject {{"serial", serial}, {"firmware", firmware},
            {"dali", QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}}}},
            {"monitor_hold_back", QJsonObject {{"one_in", 1}, {"min_ms", 2500}, {"max_ms", 3500}, {"seed", 9}}}});
    }
    startBench(QJsonObject {{"boxes", boxes}});
    QStringList frame {QStringLiteral("0")};
    for (int i = 1; i < 513; ++i)
        frame << QString::number(i & 0xFF);
    const QString dmxFrame = frame.join(QLatin1Char(','));
    qmtest::BoxUniverses dali;
    qmtest::BoxUniverses dmx;
    qmtest::searchBoxUniverses(port, "dali", dali, "dmx", dmx);
    const int before = 10;
    const int after = 100;
    for (const auto& [daliUniverse, dmxUniverse] :
        {std::pair {dali.eventBox, dmx.eventBox}, std::pair {dali.quietBox, dmx.quietBox}}) {
        ASSERT_EQ(send(daliUniverse, 0x00, before, false).value("status").toString(), "ok");
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(call("dmx.send",
                QStringLiteral(R"({"universe_id": %1, "bytes": [%2], "expect_answer": false})")
                    .arg(dmxUniverse)
                    .arg(dmxFrame))
                            .contains("result"));
        }
        ASSERT_EQ(send(daliUniverse, 0x01, 0xA0, false).value("status").toString(), "ok");
        ASSERT_EQ(send(daliUniverse, 0x00, after, false).value("status").toString(), "ok");
    }
    qmtest::searchBoxUniverses(port, "dali", dali, "dmx", dmx);
    ASSERT_EQ(dali.boxes, 2);
    for (int universe : {dali.eventBox, dali.quietBox}) {
        EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0xA0, true))), text(reply(after)))
            << "universe " << universe;
    }
}

// One monitor poll fails while the box opened by the first search is primed,
// on a host that runs the monitor late after each request: the query sent
// right after the search is answered (YES to QUERY CONTROL GEAR PRESENT) on
// both boxes, never "no answer" because its records went to the log alone.
TEST_F(DaliRecordsEndToEnd, AFailedPollWhileTheBoxIsPrimedLosesNoAnswer)
{
    QJsonArray boxes;
    for (const auto& [serial, firmware] : {std::pair {1, 21}, std::pair {2, 15}}) {
        boxes.append(QJsonObject {{"serial", serial}, {"firmware", firmware},
            {"dali", QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}}}},
            {"fail_polls", QJsonObject {{"after", 0}, {"count", 1}}},
            {"monitor_hold_back", QJsonObject {{"one_in", 1}, {"min_ms", 300}, {"max_ms", 300}}}});
    }
    startBench(QJsonObject {{"boxes", boxes}});
    // The older box first (it reads an empty window as "no answer"), right after the search.
    for (int universe : {quietBox, eventBox}) {
        EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0x91, true))), text(reply(0xFF)))
            << "universe " << universe;
    }
    EXPECT_TRUE(service.log().contains("USB monitor polls fail"));
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
    const auto step = [this](const char* name) { return qmtest::searchStep(port, quietBox, name); };
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

// More frames sent without awaiting than the service keeps account of, while
// the host polls the box 2.5 s late (so that all of them are sent before the
// box's records come): DAPC 10, QUERY ACTUAL LEVEL, 70 DAPC 100, then the query
// awaited. Its answer is the level of its own frame, never the earlier query's.
TEST_F(DaliRecordsEndToEnd, MoreUnawaitedFramesThanTheLedgerHoldsNeverHandAnOldAnswerOn)
{
    start(QJsonObject {{"one_in", 1}, {"min_ms", 2500}, {"max_ms", 2500}});
    for (int universe : {eventBox, quietBox}) {
        int wrong = 0;
        for (int round = 0; round < 3; ++round) {
            ASSERT_EQ(send(universe, 0x00, 10, false).value("status").toString(), "ok");
            ASSERT_EQ(send(universe, 0x01, 0xA0, false).value("status").toString(), "ok");
            for (int i = 0; i < 70; ++i)
                ASSERT_EQ(send(universe, 0x00, 100, false).value("status").toString(), "ok") << i;
            const QJsonObject answer = statusAndBytes(send(universe, 0x01, 0xA0, true));
            wrong += text(answer) == text(reply(100)) ? 0 : 1;
            EXPECT_EQ(text(answer), text(reply(100))) << "universe " << universe << ", round " << round;
        }
        EXPECT_EQ(wrong, 0) << "universe " << universe;
    }
}

// Two gear and another master that sends COMPARE every 5 ms on both kinds of
// box: every step search commissions both gear, and none is said not to withdraw.
TEST_F(DaliRecordsEndToEnd, AnotherMastersCompareLeavesTheStepSearchAlone)
{
    startWithBus(QJsonObject {{"one_in", 1}, {"max_ms", 20}, {"seed", 8}},
        QJsonArray {QJsonObject {{"model", "dali_gear"}, {"random_address", "0x123456"}},
            QJsonObject {{"model", "dali_gear"}, {"random_address", "0x65A321"}},
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0xA9, 0}}, {"period_ms", 5}}});
    for (int universe : {eventBox, quietBox}) {
        for (int search = 0; search < 2; ++search)
            EXPECT_EQ(stepSearch(universe), 2) << "universe " << universe << ", search " << search;
    }
    EXPECT_FALSE(service.log().contains("does not withdraw"));
}

// Another master puts the identical query on the line just before ours, after
// our request went out: on a box that records a time-out event after each of
// our frames, the first echo, with nothing after it, was the other master's, and
// the empty window is "timeout", not a box that stopped reporting.
TEST_F(DaliRecordsEndToEnd, AnotherMastersIdenticalFrameJustAheadOfOursIsNotTakenForIt)
{
    startWithBus(QJsonObject {},
        QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}},
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0x13, 0x91}}, {"period_ms", 1},
                {"ahead_of_box", true}}});
    for (int universe : {eventBox, quietBox}) {
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(text(statusAndBytes(send(universe, 0x13, 0x91, true))),
                text(QJsonObject {{"status", "timeout"}}))
                << "universe " << universe << ", query " << i;
            EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0x91, true))), text(reply(0xFF)));
        }
    }
    EXPECT_FALSE(service.log().contains("reported nothing"));
}

// Another master's QUERY ACTUAL LEVEL, identical to the query we await next,
// goes on the line just before our earlier DAPC (not awaited), while the host
// polls the box late: the awaited query answers the level our DAPC set, never
// the other master's answer (the level before it), and the earlier frame is not
// forgotten.
TEST_F(DaliRecordsEndToEnd, AnotherMastersCopyOfALaterFrameIsNotTakenForIt)
{
    startWithBus(QJsonObject {{"one_in", 1}, {"min_ms", 200}, {"max_ms", 200}},
        QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}},
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0x01, 0xA0}}, {"period_ms", 1},
                {"ahead_of", QJsonArray {0x00, 0x40}}}});
    for (int universe : {eventBox, quietBox}) {
        for (int round = 0; round < 5; ++round) {
            const int before = 100 + round;
            ASSERT_EQ(send(universe, 0x00, before, false).value("status").toString(), "ok"); // DAPC
            ASSERT_EQ(send(universe, 0x00, 0x40, false).value("status").toString(), "ok");   // DAPC 64
            EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0xA0, true))), text(reply(0x40)))
                << "universe " << universe << ", round " << round; // QUERY ACTUAL LEVEL
        }
    }
}

// A box that reports the answer 57 ms after the query, within the 60 ms answer
// window: on the box that records nothing for a missing answer, passes of the
// monitor that were quiet but began inside the window decide nothing, however
// many they are; only a pass begun after the window can close it.
TEST_F(DaliRecordsEndToEnd, AnAnswerReportedLateInTheWindowIsTheAnswer)
{
    startWithBus(QJsonObject {},
        QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}, {"answer_after_ms", 57}}});
    for (int universe : {eventBox, quietBox}) {
        int wrong = 0;
        for (int i = 0; i < 10; ++i)
            wrong += text(statusAndBytes(send(universe, 0x01, 0x91, true))) == text(reply(0xFF)) ? 0 : 1;
        EXPECT_EQ(wrong, 0) << "universe " << universe;
    }
}

// Our DAPC 33's echo is lost (the box drops it), then our QUERY ACTUAL LEVEL:
// its records are held behind the DAPC, and right after them another master
// puts 1,100 frames on the line, then DAPC 77 to all, its copy of our query
// (answered 77) and DAPC 33 to all. More records are held than the service
// keeps: the query never answers 77 (the gear held 33 whenever we asked), nor
// "timeout" where the box recorded its answer; it answers 33 or fails clearly,
// and asked again it answers 33.
TEST_F(DaliRecordsEndToEnd, MoreRecordsHeldThanKeptNeverHandAnotherMastersAnswerOn)
{
    const QJsonObject master {{"model", "dali_master"}, {"period_ms", 60000}, {"burst_after", QJsonArray {1, 0xA0}},
        {"burst_count", 1100}, {"burst_then", QJsonArray {QJsonArray {0xFE, 77}, QJsonArray {1, 0xA0},
                                                  QJsonArray {0xFE, 33}}}};
    startWithBus(QJsonObject {}, QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}}, master},
        QJsonObject {{"drop_records", QJsonObject {{"after", 0}, {"count", 1}}}});
    for (int universe : {eventBox, quietBox}) {
        ASSERT_EQ(send(universe, 0x00, 33, false).value("status").toString(), "ok"); // DAPC 33, echo lost
        expectLevelOrAnError(universe, 33);
        for (int asking = 2; asking <= 4; ++asking)
            EXPECT_EQ(text(statusAndBytes(send(universe, 0x01, 0xA0, true))), text(reply(33)))
                << "universe " << universe << ", asking " << asking;
    }
    EXPECT_EQ(service.log().count("records held behind a frame the box has not reported"), 2);
}

// The box loses both records of our unawaited QUERY ACTUAL LEVEL (the gear
// held 10); then DAPC 20, whose echo shows the lost indices, and a client asks
// the same query again and again. The lost query's records never come, and no
// later asking's echo and answer are taken for them: from the second asking on
// every one answers 20, on both boxes; the first answers 20 or fails clearly,
// never 10 and never "timeout" where the box recorded the answer.
TEST_F(DaliRecordsEndToEnd, AQueryAskedAgainAndAgainAfterTheBoxLostOneIsAnswered)
{
    startWithBus(QJsonObject {}, QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}}},
        QJsonObject {{"drop_records", QJsonObject {{"after", 1}, {"count", 2}}}});
    for (int universe : {eventBox, quietBox}) {
        ASSERT_EQ(send(universe, 0x00, 10, false).value("status").toString(), "ok"); // DAPC 10: its echo counts
        ASSERT_EQ(send(universe, 0x01, 0xA0, false).value("status").toString(), "ok"); // both records lost
        ASSERT_EQ(send(universe, 0x00, 20, false).value("status").toString(), "ok");
        const bool first = expectLevelOrAnError(universe, 20);
        int right = 0;
        for (int asking = 2; asking <= 10; ++asking) {
            const QJsonObject answer = call("dali.send",
                QStringLiteral(R"({"universe_id": %1, "bytes": [1, 160], "expect_answer": true})")
                    .arg(universe));
            right += text(statusAndBytes(answer.value("result").toObject())) == text(reply(20)) ? 1 : 0;
            EXPECT_EQ(text(statusAndBytes(answer.value("result").toObject())), text(reply(20)))
                << "universe " << universe << ", asking " << asking << ": " << text(answer);
        }
        std::cout << "[ figures  ] universe " << universe << ": first asking "
                  << (first ? "right" : "an error") << ", " << right << " of 9 after it right" << std::endl;
    }
    EXPECT_TRUE(service.log().contains("the box lost records"));
}

// The box records a DMX frame only once the line has carried it: with the
// longest break (173 ms from firmware 16) two unawaited frames back to back
// are recorded some 350 ms after their indices, and our query's echo and
// answer, numbered after them, come first. Nothing is lost: every query
// answers right, no "lost records", nothing in doubt, and the late DMX
// records do not move the count on (the queries after them answer too).
TEST_F(DaliRecordsEndToEnd, DmxFramesOfLongBreaksBesideQueriesLoseNothing)
{
    startWithBus(QJsonObject {}, QJsonArray {QJsonObject {{"model", "dali_gear"}, {"short_address", 0}}},
        QJsonObject {{"dmx_recorded_after_line", true}});
    qmtest::BoxUniverses dali;
    qmtest::BoxUniverses dmx;
    qmtest::searchBoxUniverses(port, "dali", dali, "dmx", dmx);
    ASSERT_GT(dmx.eventBox, 0);
    ASSERT_GT(dmx.quietBox, 0);
    for (const auto& [daliUniverse, dmxUniverse] :
        {std::pair {dali.eventBox, dmx.eventBox}, std::pair {dali.quietBox, dmx.quietBox}}) {
        int wrong = 0;
        for (int i = 0; i < 6; ++i) {
            for (int frame = 0; frame < 2; ++frame) {
                const QJsonObject sent = call("dmx.send",
                    QStringLiteral(R"({"universe_id": %1, "bytes": [0, 1, 2], "break_time": 173000})")
                        .arg(dmxUniverse));
                ASSERT_TRUE(sent.contains("result")) << text(sent);
            }
            const QJsonObject present = send(daliUniverse, 0x01, 0x91, true);
            wrong += text(statusAndBytes(present)) == text(reply(0xFF)) ? 0 : 1;
        }
        EXPECT_EQ(wrong, 0) << "universe " << daliUniverse;
    }
    EXPECT_FALSE(service.log().contains("the box lost records"));
    EXPECT_FALSE(service.log().contains("may be another master's"));
}

} // namespace

// Another master's frame between our ENABLE DEVICE TYPE and a query of device
// type 6 takes the enabling (the gear applies it to the next frame, whoever
// sends it) and the gear ignores our query. A YES/NO parameter must not read
// that silence as "no", nor a number as a missing answer: the query is asked
// again from ENABLE DEVICE TYPE and reads right once the other master lets it
// through, or the read is a clear error ("Too many retries") while every
// asking is disturbed. Here the other master's frame goes right before our
// first query of each of the two parameters.
TEST_F(DaliRecordsEndToEnd, AFrameBetweenEnableDeviceTypeAndItsQueryIsAskedAgain)
{
    EXPECT_EQ(deviceTypeQueries(1), 16); // every read right
    EXPECT_TRUE(service.log().contains("another master's frame came between ENABLE DEVICE TYPE"));
}

// The same with the other master's frame before every asking: never "false"
// for the protector enabled, never "no reply": a clear error.
TEST_F(DaliRecordsEndToEnd, AFrameBeforeEveryDeviceTypeQueryIsAClearError)
{
    deviceTypeQueries(0);
}
