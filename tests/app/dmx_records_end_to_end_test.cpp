#include "box_universes.h"
#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

// What a client sees of the DMX answer waits over HTTP, on two boxes whose host
// runs its monitor thread late after every request (the request thread runs
// ahead): one that reports time-out events (firmware 21) and one that does not
// (firmware 15), each with an RDM responder on its line.
class DmxRecordsEndToEnd : public ::testing::Test
{
protected:
    // A box; `faults` adds keys such as "monitor_hold_back" or "drop_records".
    static QJsonObject box(int serial, int firmware, const QJsonObject& faults)
    {
        QJsonObject box {{"serial", serial}, {"firmware", firmware},
            {"dmx", QJsonArray {QJsonObject {{"model", "rdm_responder"}, {"uid", "0x7E2B00A1B2C3"}}}}};
        for (auto it = faults.begin(); it != faults.end(); ++it)
            box.insert(it.key(), it.value());
        return box;
    }

    // Starts the service on the two boxes; their DMX universes by firmware.
    void start(const QJsonObject& holdBack)
    {
        startWith(
            QJsonObject {{"monitor_hold_back", holdBack}}, QJsonObject {{"monitor_hold_back", holdBack}});
    }

    void startWith(const QJsonObject& eventBoxFaults, const QJsonObject& quietBoxFaults)
    {
        const QJsonObject bench {
            {"boxes", QJsonArray {box(1, 21, eventBoxFaults), box(2, 15, quietBoxFaults)}}};
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServingOnBench(port, QJsonDocument(bench).toJson()))
            << service.standardError().toStdString();
        const qmtest::BoxUniverses found = qmtest::searchBoxUniverses(port, "dmx");
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

    QJsonObject send(int universe, const QByteArray& frame, bool awaited)
    {
        QStringList bytes;
        for (char b : frame)
            bytes << QString::number(quint8(b));
        return call("dmx.send",
            QStringLiteral(R"({"universe_id": %1, "bytes": [%2], "expect_answer": %3})")
                .arg(universe)
                .arg(bytes.join(QLatin1Char(',')))
                .arg(awaited ? "true" : "false"))
            .value("result")
            .toObject();
    }
    // GET DEVICE_INFO to the responder, with the transaction number `tn`.
    static QByteArray rdmGet(quint8 tn)
    {
        // Start code, sub-start code, length, destination 7E2B:00A1B2C3, source 7A70:00000001.
        QByteArray frame = QByteArray::fromHex("cc01187e2b00a1b2c37a7000000001");
        // Port 1, no messages, root device, GET_COMMAND, DEVICE_INFO, no data.
        frame.append(char(tn)).append(QByteArray::fromHex("0100000020006000"));
        quint16 sum = 0;
        for (char b : frame)
            sum = quint16(sum + quint8(b));
        return frame.append(char(sum >> 8)).append(char(sum & 0xFF));
    }

    // The transaction number of an RDM reply, -1 for anything but a reply.
    static int transactionOf(const QJsonObject& reply)
    {
        const QJsonArray bytes = reply.value("bytes").toArray();
        return reply.value("status").toString() == "reply" && bytes.size() > 15 ? bytes.at(15).toInt() : -1;
    }

    ServiceProcess service;
    int port = 0;
    int eventBox = 0;
    int quietBox = 0;
};

// An unawaited RDM GET, 127 unawaited plain frames (the box gives each frame two
// indices, so the next frame's index byte is the first GET's again), then an
// awaited GET: its reply carries its own transaction number, never the first
// GET's, although the first GET's answer is reported only during the wait.
TEST_F(DmxRecordsEndToEnd, AnAnswerWhoseIndexByteWrappedIsNotTakenForTheAwaitedOne)
{
    start(QJsonObject {{"one_in", 1}, {"min_ms", 1500}, {"max_ms", 1500}});
    const QByteArray plain = QByteArray::fromHex("00102030");
    for (int universe : {eventBox, quietBox}) {
        int wrong = 0;
        for (int round = 0; round < 5; ++round) {
            ASSERT_EQ(send(universe, rdmGet(quint8(0x80 + round)), false).value("status").toString(), "ok");
            for (int i = 0; i < 127; ++i)
                ASSERT_EQ(send(universe, plain, false).value("status").toString(), "ok");
            const QJsonObject reply = send(universe, rdmGet(quint8(0x10 + round)), true);
            ASSERT_EQ(reply.value("status").toString(), "reply")
                << QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString();
            const QJsonArray bytes = reply.value("bytes").toArray();
            ASSERT_GT(bytes.size(), 15);
            if (bytes.at(15).toInt() != 0x10 + round)
                ++wrong;
        }
        EXPECT_EQ(wrong, 0) << "universe " << universe << ": the earlier transaction number";
    }
}

// The box is opened anew (a "usb" search) while its monitor runs 2.5 s behind:
// an unawaited RDM GET and 127 plain frames before the search (so that the next
// frame's index byte is the GET's again), an awaited GET after it. The records
// made before the box was opened anew reach no exchange after it: the reply
// carries the later transaction number, never the earlier one.
TEST_F(DmxRecordsEndToEnd, RecordsFromBeforeTheBoxWasOpenedAnewReachNoLaterExchange)
{
    start(QJsonObject {{"one_in", 1}, {"min_ms", 2500}, {"max_ms", 2500}});
    const QByteArray plain = QByteArray::fromHex("00102030");
    const int rounds = 3;
    int right[2] = {0, 0};
    for (int round = 0; round < rounds; ++round) {
        const quint8 before = quint8(0x80 + round);
        const quint8 after = quint8(0x10 + round);
        for (int universe : {eventBox, quietBox}) {
            ASSERT_EQ(send(universe, rdmGet(before), false).value("status").toString(), "ok");
            for (int i = 0; i < 127; ++i)
                ASSERT_EQ(send(universe, plain, false).value("status").toString(), "ok");
        }
        const qmtest::BoxUniverses found = qmtest::searchBoxUniverses(port, "dmx");
        ASSERT_EQ(found.boxes, 2);
        int box = 0;
        for (int universe : {found.eventBox, found.quietBox}) {
            const QJsonObject reply = send(universe, rdmGet(after), true);
            EXPECT_NE(transactionOf(reply), before) << "box " << box << ", round " << round;
            right[box++] += transactionOf(reply) == after ? 1 : 0;
        }
        eventBox = found.eventBox;
        quietBox = found.quietBox;
    }
    EXPECT_EQ(right[0], rounds);
    EXPECT_EQ(right[1], rounds);
}

// A box loses a run of its records among unawaited DMX frames nobody answers
// (200 records on one box, 300 on the other; each frame takes two indices, so
// the index byte alone cannot count past the gap): the awaited RDM GETs after
// it get their own replies, at most the first one failing, never with another
// GET's reply.
TEST_F(DmxRecordsEndToEnd, AfterALostRunOfRecordsAwaitedAnswersKeepComing)
{
    startWith(QJsonObject {{"drop_records", QJsonObject {{"after", 20}, {"count", 200}}}},
        QJsonObject {{"drop_records", QJsonObject {{"after", 20}, {"count", 300}}}});
    const QByteArray plain = QByteArray::fromHex("00102030");
    for (int universe : {eventBox, quietBox}) {
        ASSERT_EQ(transactionOf(send(universe, rdmGet(0x01), true)), 0x01) << "universe " << universe;
        // One record each (nobody answers), so the run is lost among them.
        for (int i = 0; i < 400; ++i)
            ASSERT_EQ(send(universe, plain, false).value("status").toString(), "ok");
        int right = 0;
        int wrong = 0;
        int rightAtEnd = 0;
        const int gets = 30;
        for (int i = 0; i < gets; ++i) {
            const quint8 tn = quint8(0x20 + i);
            const int got = transactionOf(send(universe, rdmGet(tn), true));
            right += got == tn ? 1 : 0;
            wrong += got >= 0 && got != tn ? 1 : 0;
            rightAtEnd += i >= 10 && got == tn ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0) << "universe " << universe;
        EXPECT_GE(right, gets - 1) << "universe " << universe;
        EXPECT_EQ(rightAtEnd, gets - 10) << "universe " << universe;
    }
}

} // namespace
