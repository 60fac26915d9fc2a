#include "box_universes.h"
#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

// Another master on the bus reads the memory of our D4i gear while a client
// reads the gear's multi-byte memory-bank values over HTTP, on both kinds of
// box. Each READ MEMORY LOCATION of the other master moves the gear's memory
// pointer on, so a block read that does not notice reads the next locations.
struct MasterCase
{
    const char* name;
    QJsonObject master;
    // Bank 202 of the gear from location 3 on, in place of the bench's (empty: the bench's).
    QJsonArray energyBank = {};
};

class D4iMemoryTraffic : public ::testing::TestWithParam<MasterCase>
{
protected:
    // The D4i box of sim/benches/d4i.json, its other gear left out, as a box of
    // the given firmware with the other master on its bus.
    static QJsonObject box(const QJsonObject& d4iBox, int serial, int firmware, const MasterCase& c)
    {
        QJsonObject box = d4iBox;
        box.insert("serial", serial);
        box.insert("firmware", firmware);
        QJsonObject gear = d4iBox.value("dali").toArray().at(0).toObject();
        if (!c.energyBank.isEmpty()) {
            QJsonObject banks = gear.value("banks").toObject();
            banks.insert("202", c.energyBank);
            gear.insert("banks", banks);
        }
        box.insert("dali", QJsonArray {gear, c.master});
        return box;
    }

    void SetUp() override
    {
        QFile file(QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/d4i.json");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QJsonObject d4iBox
            = QJsonDocument::fromJson(file.readAll()).object().value("boxes").toArray().at(0).toObject();
        const QJsonObject bench {
            {"boxes", QJsonArray {box(d4iBox, 1, 21, GetParam()), box(d4iBox, 2, 15, GetParam())}}};
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServingOnBench(port, QJsonDocument(bench).toJson()))
            << service.standardError().toStdString();
        const qmtest::BoxUniverses found = qmtest::searchBoxUniverses(port, "dali");
        ASSERT_EQ(found.boxes, 2);
        for (int universe : {found.eventBox, found.quietBox}) {
            const int gear = commission(universe);
            ASSERT_GT(gear, 0) << "universe " << universe;
            gears.append(gear);
            universes.append(universe);
        }
    }

    QJsonObject call(const std::string& method, const QString& params)
    {
        return qmtest::rpcCallText(port, method, params.toStdString());
    }

    int commission(int universe) { return qmtest::commissionOneGear(port, universe); }

    ServiceProcess service;
    int port = 0;
    QList<int> gears;     // on the box with time-out events, then on the other
    QList<int> universes; // their DALI universes
};

// The manufacturer GTIN (6 bytes) and the identification number (8 bytes) of
// bank 1, read 15 times each on each box: every read gives the gear's bytes or
// a clear error, never the bytes of other locations.
TEST_P(D4iMemoryTraffic, AMemoryBankValueIsRightOrAnError)
{
    const struct
    {
        const char* pid;
        const char* hex; // bank 1, locations 3 to 8 and 9 to 16 of the bench
    } values[] = {
        {"dali_251_luminaire_manufacturer_gtin", "000123456789"},
        {"dali_251_luminaire_identification_number", "fffffffffffffffe"},
    };
    for (int box = 0; box < gears.size(); ++box) {
        int right = 0;
        int wrong = 0;
        int failed = 0;
        for (int round = 0; round < 15; ++round) {
            for (const auto& value : values) {
                const QJsonObject reply = call("device.param.get",
                    QStringLiteral(R"({"device_id": %1, "pid": "%2"})").arg(gears[box]).arg(value.pid));
                const std::string text = QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString();
                if (reply.contains("result")) {
                    const bool same = reply.value("result").toObject().value("hex_value").toString()
                        == QLatin1String(value.hex);
                    (same ? right : wrong) += 1;
                    EXPECT_TRUE(same) << "box " << box << ", round " << round << ": " << text;
                } else {
                    ++failed;
                    EXPECT_NE(text.find("Too many retries"), std::string::npos) << text;
                }
            }
        }
        std::cout << "[ figures  ] " << GetParam().name << ", box " << box << ": " << right << " right, "
                  << wrong << " wrong, " << failed << " errors of 30" << std::endl;
    }
}

INSTANTIATE_TEST_SUITE_P(OtherMaster, D4iMemoryTraffic,
    ::testing::Values(
        // READ MEMORY LOCATION to our gear (short address 0) right before each of our frames.
        MasterCase {"just_ahead_of_each_frame",
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0x01, 0xC5}}, {"period_ms", 1},
                {"ahead_of_every_frame", true}}},
        MasterCase {"every_5_ms",
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0x01, 0xC5}}, {"period_ms", 5}}},
        // Now and then: most reads fall between its frames.
        MasterCase {"every_50_ms",
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0x01, 0xC5}}, {"period_ms", 50}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Another master writes the lock byte of bank 202 beside our latched read of
// the gear's active energy (6 bytes that count at every read of the bank, from
// 0xFFFB on, so that a read without the latch runs across a carry): its
// release (DTR0 2, WRITE MEMORY LOCATION 0xFF, while the gear still has
// writing enabled by our latch) right before we select the value's location
// (DTR0 5) the first time, or its DTR0 before every one of our latch writes.
// (Its release between our DTR0 and our first READ MEMORY LOCATION moves the
// gear's pointer too: the ledger and memory-bank tests have that case.) Each read gives a value
// the counter held, never less than the read before, or a clear error; and
// the bank is never left latched (its lock byte reads 0xFF afterwards).
class D4iLatchTraffic : public D4iMemoryTraffic
{
};

TEST_P(D4iLatchTraffic, ALatchedValueIsOneTheGearHeldAndTheBankIsReleased)
{
    constexpr quint64 Start = 0xFFFB;
    for (int box = 0; box < gears.size(); ++box) {
        quint64 last = Start;
        int right = 0;
        int failed = 0;
        QStringList values;
        for (int round = 0; round < 4; ++round) {
            const QJsonObject reply = call("device.param.get",
                QStringLiteral(R"({"device_id": %1, "pid": "dali_252_active_energy"})").arg(gears[box]));
            const std::string text = QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString();
            if (reply.contains("result")) {
                bool ok = false;
                const quint64 value
                    = reply.value("result").toObject().value("hex_value").toString().toULongLong(&ok, 16);
                EXPECT_TRUE(ok) << text;
                // Every read of the bank counts one: a few hundred at most here.
                EXPECT_GE(value, last) << "box " << box << ", round " << round << ": " << text;
                EXPECT_LE(value, Start + 400) << "box " << box << ", round " << round << ": " << text;
                last = value;
                values << QString::number(value, 16);
                ++right;
            } else {
                EXPECT_NE(text.find("Too many retries"), std::string::npos) << text;
                ++failed;
            }
        }
        // The lock byte, read as another client would: DTR1 202, DTR0 2, READ MEMORY LOCATION.
        for (const char* bytes : {"[195, 202]", "[163, 2]"})
            call("dali.send",
                QStringLiteral(R"({"universe_id": %1, "bytes": %2})").arg(universes[box]).arg(bytes));
        const QJsonObject lock = call("dali.send",
            QStringLiteral(R"({"universe_id": %1, "bytes": [1, 197], "expect_answer": true})")
                .arg(universes[box]));
        EXPECT_EQ(lock.value("result").toObject().value("bytes").toArray(), QJsonArray {0xFF})
            << "box " << box << ": " << QJsonDocument(lock).toJson(QJsonDocument::Compact).toStdString();
        std::cout << "[ figures  ] " << GetParam().name << ", box " << box << ": " << right << " right, "
                  << failed << " errors of 4 (" << values.join(' ').toStdString() << ")" << std::endl;
    }
    // The other master's frames did come beside ours.
    EXPECT_TRUE(service.log().contains("another master's frame came between")) << GetParam().name;
}

const QJsonArray kEnergyNearACarry {1, 0, 0, 0, 0, 0, 0xFF, 0xFB, 255, 0, 0, 1, 119};

INSTANTIATE_TEST_SUITE_P(OtherMaster, D4iLatchTraffic,
    ::testing::Values(MasterCase {"latch_released_before_we_select_the_value",
                          QJsonObject {{"model", "dali_master"},
                              {"frames", QJsonArray {QJsonArray {0xA3, 2}, QJsonArray {0xC7, 0xFF}}},
                              {"period_ms", 1}, {"count", 1}, {"ahead_of", QJsonArray {0xA3, 5}}},
                          kEnergyNearACarry},
        MasterCase {"dtr0_before_every_latch_write",
            QJsonObject {{"model", "dali_master"}, {"frame", QJsonArray {0xA3, 2}}, {"period_ms", 1},
                {"ahead_of", QJsonArray {0xC7, 0xAA}}},
            kEnergyNearACarry}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
