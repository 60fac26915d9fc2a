#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

using qmtest::ServiceProcess;

namespace {

// The register of the Vandrel box that holds its Dorvane role: 1 "dv1_host",
// 2 "dv1_device" (the bench's), 3 "dv2_host", 4 "dv2_device".
constexpr int DorvaneModeRegister = 48;

std::string text(const QJsonValue& value)
{
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject status(const char* value)
{
    return QJsonObject {{"status", value}};
}

QJsonArray bytesOf(std::initializer_list<int> values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

// The raw send methods over HTTP against the service on the default bench,
// after one USB search: the newer box (firmware 21) with DALI gear, an RDM
// responder, a Dorvane driver and two slave modules, and the older box.
class SendEndToEnd : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        service = std::make_unique<ServiceProcess>();
        service->environment().insert("QM_SIM_BENCH",
            QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + QStringLiteral("/sim/benches/default.json"));
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service->startServing(port, {"-d"})) << service->standardError().toStdString();
        ASSERT_EQ(
            call("universe.search", R"({"interface_type": "usb"})").value("result").toArray().size(), 2);
        for (const QJsonValue& device : call("device.list").value("result").toArray()) {
            const QJsonObject box = device.toObject();
            (box.value("version").toInt() == 21 ? newBox : oldBox) = box.value("device_id").toInt();
        }
        for (const QJsonValue& value : call("universe.list").value("result").toArray()) {
            const QJsonObject universe = value.toObject();
            const int id = universe.value("universe_id").toInt();
            const QString type = universe.value("interface_type").toString();
            const bool ofNewBox = universe.value("parent_device_id").toString() == QString::number(newBox);
            if (type == "usb")
                usb = id;
            else if (type == "dali")
                (ofNewBox ? dali : oldDali) = id;
            else if (type == "dmx" && ofNewBox)
                dmx = id;
            else if (type == "dorvane" && ofNewBox)
                dorvane = id;
        }
    }
    static void TearDownTestSuite() { service.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(service && service->isRunning());
        ASSERT_TRUE(newBox && oldBox && usb && dali && oldDali && dmx && dorvane);
        setDorvaneMode(2);
    }
    void TearDown() override { setDorvaneMode(2); }

    static QJsonObject call(const std::string& method, const std::string& params = "{}")
    {
        return qmtest::rpcCallText(port, method, params);
    }
    static QJsonObject call(const std::string& method, const QJsonObject& params)
    {
        return call(method, QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString());
    }
    static QJsonObject result(const std::string& method, const QJsonObject& params)
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result")) << method << " " << text(params) << ": " << text(reply);
        return reply.value("result").toObject();
    }
    // Expects the error code and a message that starts with the text after the method's prefix.
    static void expectError(
        const std::string& method, const QJsonObject& params, int code, const QString& message)
    {
        const QJsonObject error = call(method, params).value("error").toObject();
        EXPECT_EQ(error.value("code").toInt(), code) << method << " " << text(params);
        const QString prefix
            = QStringLiteral("Error executing method %1: ").arg(QString::fromStdString(method));
        EXPECT_TRUE(error.value("message").toString().startsWith(prefix + message))
            << method << " " << text(params) << ": " << error.value("message").toString().toStdString();
    }
    // The raw register write of the box, as usb.send carries it.
    static void setDorvaneMode(int mode)
    {
        const QJsonObject reply = result(
            "usb.send", {{"device_id", newBox}, {"bytes", bytesOf({14, 0, DorvaneModeRegister, 0, mode})}});
        EXPECT_EQ(reply.value("bytes").toArray().at(4).toInt(), mode) << text(reply);
    }

    static std::unique_ptr<ServiceProcess> service;
    static int port;
    static int newBox, oldBox, usb, dali, oldDali, dmx, dorvane;
};

std::unique_ptr<ServiceProcess> SendEndToEnd::service;
int SendEndToEnd::port = 0;
int SendEndToEnd::newBox = 0;
int SendEndToEnd::oldBox = 0;
int SendEndToEnd::usb = 0;
int SendEndToEnd::dali = 0;
int SendEndToEnd::oldDali = 0;
int SendEndToEnd::dmx = 0;
int SendEndToEnd::dorvane = 0;

TEST_F(SendEndToEnd, UsbSendReadsARegisterOfEachBox)
{
    for (const auto& [box, firmware] : {std::pair {newBox, 21}, std::pair {oldBox, 15}}) {
        // VD_CMD_GET_PARAMETER (13) of register 0: the reply echoes 0x80 | 13 and holds the firmware.
        const QJsonObject reply = result("usb.send", {{"device_id", box}, {"bytes", bytesOf({13, 0, 0})}});
        EXPECT_EQ(reply.value("status").toString(), "reply");
        const QJsonArray bytes = reply.value("bytes").toArray();
        ASSERT_EQ(bytes.size(), 64);
        EXPECT_EQ(bytes.at(0).toInt(), 0x8D);
        EXPECT_EQ(bytes.at(4).toInt(), firmware);
    }
    expectError("usb.send", {{"device_id", 999}, {"bytes", bytesOf({13, 0, 0})}}, -32603,
        "Device with device_id 999 not found");
    QJsonArray tooLong;
    for (int i = 0; i < 65; ++i)
        tooLong.append(0);
    expectError("usb.send", {{"device_id", newBox}, {"bytes", tooLong}}, -32602,
        "parameter bytes must hold 1 to 64 elements for a USB report, not 65");
    expectError("usb.send", {{"device_id", newBox}, {"bytes", bytesOf({13, 256})}}, -32602,
        "parameter bytes: Byte 1 of the array has the value 256");
}

TEST_F(SendEndToEnd, DaliSendQueriesGearByShortAddress)
{
    const QJsonObject one {{"status", "reply"}, {"bytes", bytesOf({1})}, {"answer_time", 0}};
    // QUERY PHYSICAL MINIMUM (154) of short address 0 (0x01): the bench gear's minimum, 1.
    EXPECT_EQ(result("dali.send",
                  {{"universe_id", dali}, {"bytes", bytesOf({0x01, 154})}, {"expect_answer", true}}),
        one);
    // The first DALI universe is the newer box's.
    EXPECT_EQ(
        result("dali.send", {{"universe_id", -1}, {"bytes", bytesOf({0x01, 154})}, {"expect_answer", true}}),
        one);
    // Nobody at short address 5.
    EXPECT_EQ(result("dali.send",
                  {{"universe_id", dali}, {"bytes", bytesOf({0x0B, 154})}, {"expect_answer", true}}),
        status("timeout"));
    // Broadcast QUERY STATUS: both gear answer at once.
    EXPECT_EQ(result("dali.send",
                  {{"universe_id", dali}, {"bytes", bytesOf({0xFF, 0x90})}, {"expect_answer", true}}),
        status("error"));
    EXPECT_EQ(result("dali.send", {{"universe_id", dali}, {"bytes", bytesOf({0xFF, 0x90})}}), status("ok"));
    EXPECT_EQ(result("dali.send",
                  {{"universe_id", dali}, {"bytes", bytesOf({100, 100, 1700})}, {"full_bitbang", true}}),
        status("ok"));
    // The older box frames two bytes only; nobody is on its line.
    expectError("dali.send", {{"universe_id", oldDali}, {"bytes", bytesOf({0x01, 154, 0})}}, -32602,
        QStringLiteral("parameter bytes: the DALI line of universe %1 takes frames of 2 bytes, not 3")
            .arg(oldDali));
    EXPECT_EQ(result("dali.send",
                  {{"universe_id", oldDali}, {"bytes", bytesOf({0x01, 154})}, {"expect_answer", true}}),
        status("timeout"));

    // The DMX and Dorvane lines reach the gear behind their drivers as well; the USB universe has no DALI.
    EXPECT_EQ(
        result("dali.send", {{"universe_id", dmx}, {"bytes", bytesOf({0x01, 154})}, {"expect_answer", true}}),
        one);
    expectError("dali.send", {{"universe_id", usb}, {"bytes", bytesOf({0x01, 154})}}, -32603,
        "Universe 'usb' not available for 'dali.send'");
    expectError("dali.send", {{"universe_id", 999}, {"bytes", bytesOf({0x01, 154})}}, -32603,
        "Universe with universe_id 999 not found");
    expectError("dali.send", {{"universe_id", dali}, {"bytes", bytesOf({0x01, 154})}, {"settling_time", -1}},
        -32602, "parameter settling_time must be a finite time, not negative");
}

TEST_F(SendEndToEnd, DmxSendCarriesAnRdmGetToTheResponder)
{
    // GET DEVICE_INFO (0x0060) from 7A70:00000001 to the responder 7E2B:00A1B2C3.
    const QByteArray source = QByteArray::fromHex("7a7000000001");
    const QByteArray target = QByteArray::fromHex("7e2b00a1b2c3");
    auto rdmGet = [&](const QByteArray& to) {
        QByteArray frame = QByteArray::fromHex("cc0118") + to + source
            + QByteArray::fromHex("00010000002000"
                                  "6000");
        quint16 sum = 0;
        for (char b : frame)
            sum = quint16(sum + quint8(b));
        frame.append(char(sum >> 8)).append(char(sum & 0xFF));
        QJsonArray bytes;
        for (char b : frame)
            bytes.append(int(quint8(b)));
        return bytes;
    };
    const QJsonObject reply
        = result("dmx.send", {{"universe_id", dmx}, {"bytes", rdmGet(target)}, {"expect_answer", true}});
    ASSERT_EQ(reply.value("status").toString(), "reply") << text(reply);
    QByteArray answer;
    for (const QJsonValue& b : reply.value("bytes").toArray())
        answer.append(char(b.toInt()));
    ASSERT_GE(answer.size(), 26);
    EXPECT_EQ(answer.left(2).toHex(), "cc01");
    EXPECT_EQ(int(quint8(answer.at(2))), answer.size() - 2); // the message length, without the checksum
    EXPECT_EQ(answer.mid(3, 6).toHex(), source.toHex());
    EXPECT_EQ(answer.mid(9, 6).toHex(), target.toHex());
    EXPECT_EQ(int(quint8(answer.at(20))), 0x21); // GET_COMMAND_RESPONSE
    EXPECT_EQ(answer.mid(21, 2).toHex(), "0060");
    quint16 sum = 0;
    for (int i = 0; i < answer.size() - 2; ++i)
        sum = quint16(sum + quint8(answer.at(i)));
    EXPECT_EQ(answer.right(2).toHex(),
        QByteArray::fromHex(QByteArray::number(sum, 16).rightJustified(4, '0')).toHex());

    EXPECT_EQ(result("dmx.send",
                  {{"universe_id", dmx}, {"bytes", rdmGet(QByteArray::fromHex("7e2b00000099"))},
                      {"expect_answer", true}}),
        status("timeout"));
    EXPECT_EQ(result("dmx.send", {{"universe_id", dmx}, {"bytes", rdmGet(target)}}), status("ok"));
    expectError("dmx.send", {{"universe_id", dmx}, {"bytes", bytesOf({0})}, {"break_time", -1}}, -32602,
        "parameter break_time must be a finite time, not negative");
    expectError("dmx.send", {{"universe_id", dali}, {"bytes", bytesOf({0})}}, -32603,
        "Universe 'dali' not available for 'dmx.send'");
}

TEST_F(SendEndToEnd, DorvaneSendReachesTheDriverRawAndTheModulesOnDv2)
{
    // Read parameter 16358 (0x3FE6) of the driver: 0x59 0x0B low high on the bus.
    EXPECT_EQ(
        result("dorvane.send", {{"universe_id", dorvane}, {"bytes", bytesOf({0x10, 0x59, 0x3F, 0xE6})}}),
        (QJsonObject {{"status", "reply"}, {"bytes", bytesOf({0x59, 0x0B, 32, 0})}, {"answer_time", 0}}));
    EXPECT_EQ(result("dorvane.send", {{"universe_id", -1}, {"bytes", bytesOf({0x59, 0x3F, 0xE6})}}),
        (QJsonObject {{"status", "reply"}, {"bytes", bytesOf({0x59, 0, 32})}, {"answer_time", 0}}));
    expectError("dorvane.send", {{"universe_id", dorvane}, {"bytes", bytesOf({0x59, 0x3F})}}, -32603,
        "Invalid bytes array size. Must be 3 or 4");

    // The Dorvane-2 target register needs the Dorvane 2 device role; there it
    // makes the driver take the value of the next frame: 7 for 16358.
    expectError("dorvane.send",
        {{"universe_id", dorvane}, {"bytes", bytesOf({0x58, 0, 7})}, {"scratch_reg", 16358}}, -32603,
        "Vandrel not in Dorvane2 mode. Please put the vandrel in Dorvane2 mode and try again!");
    setDorvaneMode(4);
    result(
        "dorvane.send", {{"universe_id", dorvane}, {"bytes", bytesOf({0x58, 0, 7})}, {"scratch_reg", 16358}});
    EXPECT_EQ(result("dorvane.send", {{"universe_id", dorvane}, {"bytes", bytesOf({0x59, 0x3F, 0xE6})}})
                  .value("bytes"),
        bytesOf({0x59, 0, 7}));
    result("dorvane.send",
        {{"universe_id", dorvane}, {"bytes", bytesOf({0x58, 0, 32})}, {"scratch_reg", 16358}});

    // As a Dorvane 2 host the box reaches the DV2 module at address 7 (the
    // default), whose RAM holds 0x12 0x34 at 16; the driver is out of reach.
    setDorvaneMode(3);
    const QJsonObject read {{"universe_id", dorvane}, {"bytes", bytesOf({16, 2})}, {"data_type", "dv2_read"}};
    EXPECT_EQ(result("dorvane.send", read).value("bytes"), bytesOf({0x12, 0x34}));
    result("dorvane.send",
        {{"universe_id", dorvane}, {"bytes", bytesOf({16, 0xAB, 0xCD})}, {"data_type", "dv2_write"},
            {"address", 7}});
    EXPECT_EQ(result("dorvane.send", read).value("bytes"), bytesOf({0xAB, 0xCD}));
    result("dorvane.send",
        {{"universe_id", dorvane}, {"bytes", bytesOf({16, 0x12, 0x34})}, {"data_type", "dv2_write"}});
    expectError("dorvane.send",
        {{"universe_id", dorvane}, {"bytes", bytesOf({16, 2})}, {"data_type", "dv2_read"}, {"address", 6}},
        -32603, "Unable to build packet response. error No reply where one was expected.");
    expectError("dorvane.send", {{"universe_id", dorvane}, {"bytes", bytesOf({0x59, 0x3F, 0xE6})}}, -32603,
        "Unable to build packet response. error ");
    expectError("dorvane.send",
        {{"universe_id", dorvane}, {"bytes", bytesOf({16})}, {"data_type", "dv2_read"}}, -32602,
        "parameter bytes must hold 2 elements for data_type dv2_read, not 1");
}

TEST_F(SendEndToEnd, SpiSendReachesASlaveModule)
{
    // RAM read of 16 bits (0x66 0x15 address) of the first-generation module:
    // 0x0114 at 28, once the box is a Dorvane 1 host.
    const QJsonObject ramRead {
        {"universe_id", dorvane}, {"bytes", bytesOf({0x66, 0x15, 28, 0, 0})}, {"expect_answer", true}};
    expectError("spi.send", ramRead, -32603,
        "Unable to build packet response. error No reply where one was expected.");
    setDorvaneMode(1);
    EXPECT_EQ(result("spi.send", ramRead),
        (QJsonObject {{"status", "reply"}, {"bytes", bytesOf({0x01, 0x14})}, {"answer_time", 0}}));
    // The SPI side takes whole 5-byte frames only.
    expectError("spi.send", {{"universe_id", dorvane}, {"bytes", bytesOf({0x66, 0x15, 28})}}, -32603,
        "Unable to build packet response. error ");
    expectError("spi.send", {{"universe_id", dali}, {"bytes", bytesOf({1})}}, -32602,
        QStringLiteral("Could not find SPI interface for universe %1 (DALI)").arg(dali));
    expectError("spi.send", {{"universe_id", -1}, {"bytes", bytesOf({1})}}, -32603,
        "Universe for protocol spi not found");
    expectError("spi.send", {{"universe_id", dorvane}, {"bytes", bytesOf({1, 2, 3, 4, 5, 6})}}, -32602,
        "parameter bytes must hold 1 to 5 elements for an SPI frame, not 6");
}

} // namespace
