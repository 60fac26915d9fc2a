#include "core/device_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "fake_product_database.h"
#include "method_call.h"
#include "plain_device.h"
#include "recording_bus_interfaces.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_dali_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_dmx_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_dorvane_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_spi_send.h"
#include "service/rpc/rpc_methods/protocol/rpc_usb_send.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "wait_until.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarvesk;
using namespace tarvesk::service;
using test::RecordedSend;
using test::ScriptedOutcome;

namespace {

struct Outcome
{
    int code = 0;
    QString message;
    QJsonObject result;
};

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// A DALI, a DMX and a Dorvane universe (the last with an SPI interface too),
// each on a recording bus interface, in the universe manager.
class SendMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AbstractRpcMethod::setDatabase(std::make_shared<test::FakeProductDatabase>(true));
        dali = new test::RecordingDaliInterface;
        dmx = new test::RecordingDmxInterface;
        dorvane = new test::RecordingDorvaneInterface;
        spi = new test::RecordingSpiInterface;
        daliUniverse = add(new core::Universe(QStringLiteral("DALI"), dali, nullptr));
        dmxUniverse = add(new core::Universe(QStringLiteral("DMX"), dmx, nullptr));
        dorvaneUniverse = add(new core::Universe(QStringLiteral("Dorvane"), dorvane, nullptr));
        ASSERT_TRUE(dorvaneUniverse->addInterface(spi));
    }
    void TearDown() override
    {
        for (core::Universe* universe : {daliUniverse, dmxUniverse, dorvaneUniverse}) {
            if (universe)
                core::UniverseManager::instance().remove(universe, true);
        }
        AbstractRpcMethod::setDatabase(nullptr);
    }

    static core::Universe* add(core::Universe* universe)
    {
        core::UniverseManager::instance().add(universe);
        return universe;
    }

    Outcome run(AbstractRpcMethod& method, const QString& params)
    {
        const test::MethodOutcome call = test::callMethod(method, params);
        return {call.code, call.message, call.result.toObject()};
    }

    // The params with the universe of the method filled in.
    QString on(core::Universe* universe, const QString& rest) const
    {
        return QStringLiteral(R"({"universe_id": %1, %2})").arg(universe->getId()).arg(rest);
    }

    int sendCount() const
    {
        return int(dali->sends.size() + dmx->sends.size() + dorvane->sends.size() + spi->sends.size());
    }

    RpcDaliSend daliSend;
    RpcDmxSend dmxSend;
    RpcDorvaneSend dorvaneSend;
    RpcSpiSend spiSend;
    RpcUsbSend usbSend;
    test::RecordingDaliInterface* dali = nullptr;
    test::RecordingDmxInterface* dmx = nullptr;
    test::RecordingDorvaneInterface* dorvane = nullptr;
    test::RecordingSpiInterface* spi = nullptr;
    core::Universe* daliUniverse = nullptr;
    core::Universe* dmxUniverse = nullptr;
    core::Universe* dorvaneUniverse = nullptr;
};

// Omitted: the declared default; of the wrong JSON type: the handler's own; given: the value.
TEST_F(SendMethods, OptionsTakeDeclaredHandlerOrGivenValues)
{
    const struct
    {
        const char* method;
        const char* options;
        QVariantMap expected; // the options handed to the interface
        int action;           // Dorvane: 1 read, 0 write
    } cases[] = {
        {"dali.send", "",
            {{"full_bitbang", false}, {"internal_addressing", false}, {"send_to_physical_dali", false},
                {"settling_time", 15.0}, {"answer_timeout", 10.5}, {"stopbit_time", 1.664},
                {"expect_answer", false}, {"send_twice", false}, {"module_check", false}},
            -1},
        {"dali.send",
            R"(, "settling_time": true, "answer_timeout": "soon", "stopbit_time": [], "module_check": 1,
                "expect_answer": "yes", "send_twice": 0, "full_bitbang": "true")",
            {{"full_bitbang", false}, {"internal_addressing", false}, {"send_to_physical_dali", false},
                {"settling_time", 13.5}, {"answer_timeout", 13.0}, {"stopbit_time", 1.664},
                {"expect_answer", false}, {"send_twice", false}, {"module_check", true}},
            -1},
        {"dali.send",
            R"(, "settling_time": 20, "answer_timeout": "12.5", "stopbit_time": 2, "module_check": false,
                "expect_answer": true, "send_twice": true, "internal_addressing": true,
                "send_to_physical_dali": true)",
            {{"full_bitbang", false}, {"internal_addressing", true}, {"send_to_physical_dali", true},
                {"settling_time", 20.0}, {"answer_timeout", 12.5}, {"stopbit_time", 2.0},
                {"expect_answer", true}, {"send_twice", true}, {"module_check", false}},
            -1},
        {"dmx.send", "",
            {{"wait_for_idle", true}, {"banana_mode", false}, {"answer_timeout", 0.0}, {"break_time", 0.0},
                {"internal", false}, {"expect_answer", false}},
            -1},
        {"dmx.send", R"(, "wait_for_idle": "no", "break_time": "x", "answer_timeout": false, "internal": 1)",
            {{"wait_for_idle", true}, {"banana_mode", false}, {"answer_timeout", 0.0}, {"break_time", 0.0},
                {"internal", false}, {"expect_answer", false}},
            -1},
        {"dmx.send",
            R"(, "wait_for_idle": false, "banana_mode": true, "break_time": 1.5, "answer_timeout": 40,
                "internal": true, "expect_answer": true, "uart_speed": 250000)",
            {{"wait_for_idle", false}, {"banana_mode", true}, {"answer_timeout", 40.0}, {"break_time", 1.5},
                {"internal", true}, {"expect_answer", true}},
            -1},
        {"dorvane.send", "", {{"dorvane_corvalt", true}, {"expect_answer", false}}, 0},
        {"dorvane.send", R"(, "expect_answer": 1, "dorvane_corvalt": "no")",
            {{"dorvane_corvalt", true}, {"expect_answer", true}}, 1},
        {"dorvane.send", R"(, "expect_answer": true, "dorvane_corvalt": false)",
            {{"dorvane_corvalt", false}, {"expect_answer", true}}, 1},
        {"dv2", "", {{"expect_answer", false}, {"dorvane2", true}}, -1},
        {"dv2", R"(, "expect_answer": 1)", {{"expect_answer", false}, {"dorvane2", true}}, -1},
        {"dv2", R"(, "expect_answer": true)", {{"expect_answer", true}, {"dorvane2", true}}, -1},
        {"spi.send", "", {{"expect_answer", false}}, -1},
        {"spi.send", R"(, "expect_answer": "true")", {{"expect_answer", false}}, -1},
        {"spi.send", R"(, "expect_answer": true)", {{"expect_answer", true}}, -1},
    };
    for (const auto& c : cases) {
        const QString method = QString::fromLatin1(c.method);
        const QString options = QString::fromLatin1(c.options);
        Outcome outcome;
        std::vector<RecordedSend>* sends = nullptr;
        if (method == "dali.send") {
            outcome = run(daliSend, on(daliUniverse, R"("bytes": [1, 144])" + options));
            sends = &dali->sends;
        } else if (method == "dmx.send") {
            outcome = run(dmxSend, on(dmxUniverse, R"("bytes": [0, 1, 2])" + options));
            sends = &dmx->sends;
        } else if (method == "dorvane.send") {
            outcome = run(dorvaneSend, on(dorvaneUniverse, R"("bytes": [1, 2, 3, 4])" + options));
            sends = &dorvane->sends;
        } else if (method == "dv2") {
            outcome = run(
                dorvaneSend, on(dorvaneUniverse, R"("bytes": [9], "data_type": "dv2_query")" + options));
            sends = &spi->sends;
        } else {
            outcome = run(spiSend, on(dorvaneUniverse, R"("bytes": [1, 2, 3, 4, 5])" + options));
            sends = &spi->sends;
        }
        const std::string label = (method + options).toStdString();
        ASSERT_EQ(outcome.code, 0) << label << ": " << outcome.message.toStdString();
        ASSERT_EQ(sends->size(), 1u) << label;
        const RecordedSend sent = sends->back();
        sends->clear();
        EXPECT_EQ(sent.options, c.expected) << label;
        EXPECT_EQ(sent.action, c.action) << label;
    }
}

TEST_F(SendMethods, FramesAreBuiltFromTheBytesAsEachBusTakesThem)
{
    const struct
    {
        AbstractRpcMethod* method;
        const char* params;
        std::vector<RecordedSend>* sends;
        QByteArray frame;
        int nordhune;
    } cases[] = {
        {&daliSend, R"("bytes": [255, 144])", &dali->sends, hex("ff90"), -1},
        // Bit-bang times: byte 0 counts them, then (t - 22) / 6.25 at even and
        // (t + 20) / 6.25 at odd positions, held to 1..255 and truncated.
        {&daliSend, R"("bytes": [100, 100, 1700], "full_bitbang": true)", &dali->sends, hex("030c13ff"), -1},
        {&daliSend, R"("bytes": [0, 0, -500, 1574], "full_bitbang": true)", &dali->sends,
            hex("040103"
                "01ff"),
            -1},
        {&dmxSend, R"("bytes": [204, 1, 24])", &dmx->sends, hex("cc0118"), -1},
        {&dorvaneSend, R"("bytes": [1, 2, 3, 4])", &dorvane->sends, hex("020b0403"), -1},
        {&dorvaneSend, R"("bytes": [1, 2, 3])", &dorvane->sends, hex("010b0302"), -1},
        {&dorvaneSend, R"("bytes": [1, 2, 3], "data_type": "DV2_READ")", &dorvane->sends, hex("010b0302"),
            -1},
        // DV2 host commands: byte 0 the address' bits 3-6 and 0x40, byte 1 its
        // bits 0-2 (<< 5), the command (<< 3) and the length field; the payload.
        {&dorvaneSend, R"("bytes": [5, 2], "data_type": "dv2_read")", &spi->sends, hex("40e9050000"), 1},
        {&dorvaneSend, R"("bytes": [16, 1, 2], "data_type": "dv2_write")", &spi->sends, hex("40f1100102"), 1},
        {&dorvaneSend, R"("bytes": [9], "data_type": "dv2_query")", &spi->sends, hex("40e0090000"), 1},
        {&dorvaneSend, R"("bytes": [9], "data_type": "dv2_query", "address": 9, "nordhune": 2)", &spi->sends,
            hex("4120090000"), 2},
        {&dorvaneSend, R"("bytes": [1, 2, 3], "data_type": "dv2_status", "address": 9)", &spi->sends,
            hex("4019010203"), 1},
        {&dorvaneSend, R"("bytes": [3, 2, 9, 8, 7], "data_type": "dv2_host_command")", &spi->sends,
            hex("40fa090807"), 1},
        {&spiSend, R"("bytes": [102, 21, 28, 0, 0])", &spi->sends, hex("66151c0000"), 1},
        {&spiSend, R"("bytes": [102, 21, 28, 0, 0], "nordhune": 2.7)", &spi->sends, hex("66151c0000"), 2},
        {&spiSend, R"("bytes": [102, 21, 28, 0, 0], "nordhune": "two")", &spi->sends, hex("66151c0000"), 1},
    };
    for (const auto& c : cases) {
        core::Universe* universe = c.method == &daliSend ? daliUniverse
            : c.method == &dmxSend                       ? dmxUniverse
                                                         : dorvaneUniverse;
        const Outcome outcome = run(*c.method, on(universe, QString::fromLatin1(c.params)));
        ASSERT_EQ(outcome.code, 0) << c.params << ": " << outcome.message.toStdString();
        ASSERT_EQ(c.sends->size(), 1u) << c.params;
        EXPECT_EQ(c.sends->back().bytes.toHex(), c.frame.toHex()) << c.params;
        EXPECT_EQ(c.sends->back().nordhune, c.nordhune) << c.params;
        c.sends->clear();
    }
}

TEST_F(SendMethods, RepliesTellAnswersSilenceAndGarbleApart)
{
    const struct
    {
        const char* params;
        ScriptedOutcome bus;
        QJsonObject reply;
    } cases[] = {
        {R"("expect_answer": true)", {0, hex("a4"), 0, 2.5},
            QJsonObject {{"status", "reply"}, {"bytes", QJsonArray {164}}, {"answer_time", 2.5}}},
        {R"("expect_answer": true)", {0, std::nullopt, 0, 0}, QJsonObject {{"status", "timeout"}}},
        {R"("expect_answer": false)", {0, std::nullopt, 0, 0}, QJsonObject {{"status", "ok"}}},
        {R"("expect_answer": true)", {0, QByteArray(), proto::PACKET_FLAG_TIMEOUT_EVENT, 0},
            QJsonObject {{"status", "timeout"}}},
        {R"("expect_answer": false)", {0, hex("a4"), proto::PACKET_FLAG_NOT_HANDLED_BY_MODULE, 0},
            QJsonObject {{"status", "ok"}}},
        {R"("expect_answer": true)", {0, hex("a4"), proto::PACKET_FLAG_FRAME_ERROR, 0},
            QJsonObject {{"status", "error"}}},
        // A packet without bytes says that nobody answered.
        {R"("expect_answer": true)", {0, QByteArray(), 0, 0}, QJsonObject {{"status", "timeout"}}},
    };
    for (const auto& c : cases) {
        dali->next = c.bus;
        const Outcome outcome = run(daliSend, on(daliUniverse, R"("bytes": [1, 144], )" + QString(c.params)));
        EXPECT_EQ(outcome.code, 0) << outcome.message.toStdString();
        EXPECT_EQ(outcome.result, c.reply) << QJsonDocument(outcome.result).toJson().toStdString();
    }

    // A 3-byte raw Dorvane request reads its answer in its own layout; the
    // expectation is the client's, whatever the interface makes of the options.
    dorvane->next = {0, hex("59 0b 20 00"), 0, 0};
    EXPECT_EQ(run(dorvaneSend, on(dorvaneUniverse, R"("bytes": [89, 63, 230])")).result,
        (QJsonObject {{"status", "reply"}, {"bytes", QJsonArray {0x59, 0x00, 0x20}}, {"answer_time", 0}}));
    dorvane->next = {0, std::nullopt, 0, 0};
    const QJsonObject ok {{"status", "ok"}};
    EXPECT_EQ(run(dorvaneSend, on(dorvaneUniverse, R"("bytes": [89, 63, 230])")).result, ok);
}

TEST_F(SendMethods, ClientValuesAreRefusedBeforeAnythingIsSent)
{
    const QString bigDmx = QStringLiteral("[%1]").arg(QString("0, ").repeated(513) + "0");
    const QString manyTimes = QStringLiteral("[%1]").arg(QString("100, ").repeated(255) + "100");
    const struct
    {
        AbstractRpcMethod* method;
        QString params;
        int code;
        const char* message; // contained in the error message
    } cases[] = {
        {&daliSend, R"("bytes": "0190")", -32602, "parameter bytes must be an array"},
        {&daliSend, R"("bytes": [])", -32602,
            "parameter bytes must hold 1 to 4 elements for a DALI frame, not 0"},
        {&daliSend, R"("bytes": [1, 2, 3, 4, 5])", -32602,
            "must hold 1 to 4 elements for a DALI frame, not 5"},
        {&daliSend, R"("bytes": [1, "a"])", -32602, "parameter bytes: Byte 1 of the array is not an integer"},
        {&daliSend, R"("bytes": [1, 300])", -32602, "parameter bytes: Byte 1 of the array has the value 300"},
        {&daliSend, R"("bytes": [100, 1.5], "full_bitbang": true)", -32602,
            "parameter bytes: element 1 is not an integer"},
        {&daliSend, R"("bytes": [100, "x"], "full_bitbang": true)", -32602,
            "parameter bytes: element 1 is not an integer"},
        {&daliSend, R"("full_bitbang": true, "bytes": )" + manyTimes, -32602,
            "must hold 1 to 255 elements for a bit-bang pattern, not 256"},
        {&daliSend, R"("bytes": [1, 144], "settling_time": -1)", -32602,
            "parameter settling_time must be a finite time, not negative"},
        {&daliSend, R"("bytes": [1, 144], "answer_timeout": "-2")", -32602,
            "parameter answer_timeout must be a finite time"},
        {&dmxSend, R"("bytes": )" + bigDmx, -32602, "must hold 1 to 513 elements for a DMX frame, not 514"},
        {&dmxSend, R"("bytes": [0], "break_time": -0.5)", -32602,
            "parameter break_time must be a finite time"},
        {&dorvaneSend, R"("bytes": [1, 2])", -32603, "Invalid bytes array size. Must be 3 or 4"},
        {&dorvaneSend, R"("bytes": [1, 2, 3], "scratch_reg": -2)", -32603,
            "Scratch register can not contain negative numbers except -1 (ignore scracth register = -1)"},
        {&dorvaneSend, R"("bytes": [1, 2, 3], "scratch_reg": 65536)", -32602,
            "parameter scratch_reg must be -1 or an integer in 0..65535"},
        {&dorvaneSend, R"("bytes": [1, 2, 3], "scratch_reg": "a")", -32602,
            "parameter scratch_reg must be an integer"},
        {&dorvaneSend, R"("bytes": [5], "data_type": "dv2_read")", -32602,
            "must hold 2 elements for data_type dv2_read, not 1"},
        {&dorvaneSend, R"("bytes": [5, 9], "data_type": "dv2_read")", -32602,
            "the count of dv2_read (byte 1) must be 1 to 8"},
        {&dorvaneSend, R"("bytes": [5], "data_type": "dv2_write")", -32602,
            "must hold 2 to 3 elements for data_type dv2_write, not 1"},
        {&dorvaneSend, R"("bytes": [1, 2, 3, 4], "data_type": "dv2_query")", -32602,
            "must hold 1 to 3 elements for data_type dv2_query, not 4"},
        {&dorvaneSend, R"("bytes": [4, 0], "data_type": "dv2_host_command")", -32602,
            "the command of dv2_host_command (byte 0) must be 0 to 3"},
        {&dorvaneSend, R"("bytes": [1, 8], "data_type": "dv2_host_command")", -32602,
            "the length field of dv2_host_command (byte 1) must be 0 to 7"},
        {&dorvaneSend, R"("bytes": [9], "data_type": "dv2_query", "address": 128)", -32602,
            "parameter address must be an integer in 0..127"},
        {&dorvaneSend, R"("bytes": [9], "data_type": "dv2_query", "address": "seven")", -32602,
            "parameter address must be an integer in 0..127"},
        {&dorvaneSend, R"("bytes": [9], "data_type": "dv2_query", "nordhune": 256)", -32602,
            "parameter nordhune must be an integer in 0..255"},
        {&spiSend, R"("bytes": [1, 2, 3, 4, 5, 6])", -32602,
            "must hold 1 to 5 elements for an SPI frame, not 6"},
        {&spiSend, R"("bytes": [1], "nordhune": -1)", -32602,
            "parameter nordhune must be an integer in 0..255"},
    };
    for (const auto& c : cases) {
        core::Universe* universe = c.method == &daliSend ? daliUniverse
            : c.method == &dmxSend                       ? dmxUniverse
                                                         : dorvaneUniverse;
        const Outcome outcome = run(*c.method, on(universe, c.params));
        EXPECT_EQ(outcome.code, c.code) << c.params.toStdString();
        EXPECT_TRUE(outcome.message.contains(QString::fromLatin1(c.message)))
            << c.params.toStdString() << ": " << outcome.message.toStdString();
    }
    const struct
    {
        AbstractRpcMethod* method;
        const char* params;
        const char* message;
    } usbCases[] = {
        {&usbSend, R"({"bytes": [13]})", "Parameter 'device_id' required for method usb.send"},
        {&usbSend, R"({"device_id": 1, "bytes": []})", "must hold 1 to 64 elements for a USB report, not 0"},
        {&daliSend, R"({"bytes": [1, 144]})", "Parameter 'universe_id' required for method dali.send"},
        {&daliSend, R"({"universe_id": "3", "bytes": [1, 144]})", "parameter universe_id must be an integer"},
        {&spiSend, R"({"universe_id": 3})", "Parameter 'bytes' required for method spi.send"},
    };
    for (const auto& c : usbCases) {
        const Outcome outcome = run(*c.method, QString::fromLatin1(c.params));
        EXPECT_EQ(outcome.code, -32602) << c.params;
        EXPECT_TRUE(outcome.message.contains(QString::fromLatin1(c.message)))
            << outcome.message.toStdString();
    }
    EXPECT_EQ(sendCount(), 0);

    // What the line itself can frame is asked of it before the send.
    dali->frameSizesOf = {2, 2};
    const Outcome outcome = run(daliSend, on(daliUniverse, R"("bytes": [1, 144, 3])"));
    EXPECT_EQ(outcome.code, -32602);
    EXPECT_TRUE(outcome.message.contains(
        QStringLiteral("parameter bytes: the DALI line of universe %1 takes frames of 2 bytes, not 3")
            .arg(daliUniverse->getId())))
        << outcome.message.toStdString();
    dali->bitbangSizes = {1, 3};
    EXPECT_EQ(run(daliSend, on(daliUniverse, R"("bytes": [1, 2, 3], "full_bitbang": true)")).code, -32602);
    EXPECT_EQ(sendCount(), 0);
}

TEST_F(SendMethods, LookUpFailuresNameWhatIsMissing)
{
    test::PlainDevice* plain = new test::PlainDevice(daliUniverse, QStringLiteral("gear"));
    ASSERT_TRUE(daliUniverse->addDevice(plain));
    const struct
    {
        AbstractRpcMethod* method;
        QString params;
        int code;
        QString message;
    } cases[] = {
        {&daliSend, R"({"universe_id": 9999, "bytes": [1, 144]})", -32603,
            "Universe with universe_id 9999 not found"},
        {&spiSend, R"({"universe_id": -1, "bytes": [1]})", -32603, "Universe for protocol spi not found"},
        {&daliSend, on(dmxUniverse, R"("bytes": [1, 144])"), -32603,
            "Universe 'dmx' not available for 'dali.send'"},
        {&dmxSend, on(daliUniverse, R"("bytes": [0])"), -32603,
            "Universe 'dali' not available for 'dmx.send'"},
        {&dorvaneSend, on(dmxUniverse, R"("bytes": [1, 2, 3])"), -32603,
            "Universe 'dmx' not available for 'dorvane.send'"},
        {&spiSend, on(dmxUniverse, R"("bytes": [1])"), -32602,
            QStringLiteral("Could not find SPI interface for universe %1 (DMX)").arg(dmxUniverse->getId())},
        {&usbSend, R"({"device_id": 9999, "bytes": [13]})", -32603, "Device with device_id 9999 not found"},
        {&usbSend, QStringLiteral(R"({"device_id": %1, "bytes": [13]})").arg(plain->getId()), -32603,
            "Could not find a valid USB device"},
        {&usbSend,
            QStringLiteral(R"({"device_id": %1, "universe_id": %2, "bytes": [13]})")
                .arg(plain->getId())
                .arg(daliUniverse->getId()),
            -32603, "Could not find a valid USB device"},
        {&dorvaneSend, on(dorvaneUniverse, R"("bytes": [1, 2, 3], "scratch_reg": 0)"), -32603,
            "Vandrel not in Dorvane2 mode. Please put the vandrel in Dorvane2 mode and try again!"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(*c.method, c.params);
        EXPECT_EQ(outcome.code, c.code) << c.params.toStdString();
        EXPECT_TRUE(outcome.message.contains(c.message))
            << c.params.toStdString() << ": " << outcome.message.toStdString();
    }
    dorvane->state = itf::DorvaneInterface::DORVANE_2_DEVICE;
    EXPECT_TRUE(run(dorvaneSend, on(dorvaneUniverse, R"("bytes": [1, 2, 3], "scratch_reg": 0)"))
                    .message.contains("Invalid vandrel device!"));
    EXPECT_EQ(sendCount(), 0);

    // -1: the first universe of the protocol.
    EXPECT_EQ(run(daliSend, R"({"universe_id": -1, "bytes": [1, 144]})").code, 0);
    EXPECT_EQ(dali->sends.size(), 1u);
}

// Every way a send can fail: -32603 with the status text; the answer packet
// that came with the failure is released (ASan would report it), and the DALI
// line's lock is free again.
TEST_F(SendMethods, FailedSendsReportTheStatusAndReleaseWhatTheyHeld)
{
    const ScriptedOutcome failure {core::ITF_ERR_NO_REPLY, hex("a4"), 0, 0};
    dali->next = dmx->next = dorvane->next = spi->next = failure;
    const struct
    {
        AbstractRpcMethod* method;
        core::Universe* universe;
        const char* params;
    } cases[] = {
        {&daliSend, daliUniverse, R"("bytes": [1, 144], "expect_answer": true)"},
        {&dmxSend, dmxUniverse, R"("bytes": [0, 1])"},
        {&dorvaneSend, dorvaneUniverse, R"("bytes": [1, 2, 3])"},
        {&dorvaneSend, dorvaneUniverse, R"("bytes": [9], "data_type": "dv2_query")"},
        {&spiSend, dorvaneUniverse, R"("bytes": [1, 2, 3, 4, 5])"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(*c.method, on(c.universe, QString::fromLatin1(c.params)));
        EXPECT_EQ(outcome.code, -32603) << c.params;
        EXPECT_TRUE(outcome.message.contains(
            "Unable to build packet response. error No reply where one was expected."))
            << outcome.message.toStdString();
    }
    EXPECT_EQ(sendCount(), 5);

    std::atomic<bool> locked {false};
    std::thread other([&] {
        dali->lock();
        locked = true;
        dali->unlock();
    });
    const bool free = test::waitUntil([&] { return locked.load(); }, 5000);
    if (!free) {
        // The thread never ends: what it waits on stays alive.
        other.detach();
        daliUniverse = nullptr;
        FAIL() << "the DALI line stays locked after a failed send";
    }
    other.join();
}

} // namespace
