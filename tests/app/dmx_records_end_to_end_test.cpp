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
    static QJsonObject box(int serial, int firmware, const QJsonObject& holdBack)
    {
        return QJsonObject {{"serial", serial}, {"firmware", firmware},
            {"dmx", QJsonArray {QJsonObject {{"model", "rdm_responder"}, {"uid", "0x7E2B00A1B2C3"}}}},
            {"monitor_hold_back", holdBack}};
    }

    // Starts the service on the two boxes; their DMX universes by firmware.
    void start(const QJsonObject& holdBack)
    {
        const QJsonObject bench {{"boxes", QJsonArray {box(1, 21, holdBack), box(2, 15, holdBack)}}};
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

} // namespace
