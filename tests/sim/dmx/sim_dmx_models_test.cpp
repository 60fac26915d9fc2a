#include "../sim_test_support.h"

#include "core/itf_error.h"
#include "dali/sim_dali_gear.h"
#include "dmx/sim_rdm_responder.h"
#include "dmx/sim_wystrel_driver.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

using namespace tarvesk;
using sim::SimRdmResponder;
using sim::SimWystrelDriver;

namespace {

// A Wystrel frame with its additive checksum.
QByteArray wy(std::initializer_list<int> bytes)
{
    QByteArray frame;
    quint8 sum = 0;
    for (int b : bytes) {
        frame.append(char(b));
        sum = quint8(sum + b);
    }
    return frame + char(sum);
}

// The frames are built with the service's own codec, so that the driver is
// checked against what the host really sends.
QByteArray readFrame(quint16 number, quint8 skip = 0)
{
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_READ);
    frame.param_setNumber(number);
    frame.setSkipCount(skip);
    frame.checksum_recalculate();
    return frame.getRawDataString();
}

QByteArray guidFrame(quint8 skip)
{
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_GUID);
    frame.setSkipCount(skip);
    frame.checksum_recalculate();
    return frame.getRawDataString();
}

proto::WystrelPacket answerOf(const std::optional<QByteArray>& bytes)
{
    return bytes
        ? proto::WystrelPacket(reinterpret_cast<const unsigned char*>(bytes->constData()), bytes->size())
        : proto::WystrelPacket();
}

TEST(SimWystrelDriver, AnswersAtItsSkipPosition)
{
    SimWystrelDriver::Config config;
    config.identity.uid = 0x80A1B2C3;
    config.skipPosition = 2;
    SimWystrelDriver driver(config);
    EXPECT_FALSE(driver.dmxFrame(guidFrame(0)));
    EXPECT_FALSE(driver.dmxFrame(guidFrame(1)));
    const proto::WystrelPacket answer = answerOf(driver.dmxFrame(guidFrame(2)));
    EXPECT_EQ(answer.answer_isValid(proto::CHECK_IGNORE_NONE), 0);
    EXPECT_TRUE(answer.cmd_isGUID());
    EXPECT_EQ(answer.getUint32(4), 0x80A1B2C3u);

    // A frame with a wrong checksum, or an answer, is not taken.
    SimWystrelDriver first;
    QByteArray bad = guidFrame(0);
    bad[8] = char(bad[8] + 1);
    EXPECT_FALSE(first.dmxFrame(bad));
    EXPECT_FALSE(first.dmxFrame(*first.dmxFrame(guidFrame(0))));
}

TEST(SimWystrelDriver, ParameterSpace)
{
    SimWystrelDriver::Config config;
    config.identity.version = 269;
    config.identity.productId = 5;
    config.identity.oemId = 0;
    SimWystrelDriver driver(config);
    const auto value = [&driver](quint16 number) { return answerOf(driver.dmxFrame(readFrame(number))); };
    EXPECT_EQ(value(0).param_getValue(false, false, true), 269);
    EXPECT_EQ(value(0x97).param_getValue(false, false, true), 5);
    EXPECT_EQ(value(0x301).param_getValue(false, false, true), 0);
    EXPECT_TRUE(value(0x1234).cmd_hasErrorFlag()); // outside the space

    proto::WystrelPacket write(proto::WystrelPacket::WY_CMD_WRITE);
    write.param_setNumber(0x4210);
    write.param_setValue(0xBEEF);
    write.checksum_recalculate();
    EXPECT_FALSE(answerOf(driver.dmxFrame(write.getRawDataString())).cmd_hasErrorFlag());
    EXPECT_EQ(value(0x4210).param_getValue(false, false, true), 0xBEEF);
    EXPECT_EQ(driver.core().parameter(0x4210), 0xBEEF);

    // Find-next walks the numbers below 256 in order.
    driver.core().setParameter(170, 105);
    driver.core().setParameter(50, 7);
    QList<int> walk;
    int previous = 0;
    for (int step = 0; step < 10; ++step) {
        const proto::WystrelPacket next
            = answerOf(driver.dmxFrame(wy({0xD0, 0x1D, 0, 0, previous & 0xFF, previous >> 8, 0, 0})));
        previous = next.getUint8(4);
        if (previous == 0)
            break;
        walk << previous << (next.getUint8(6) | next.getUint8(7) << 8);
    }
    EXPECT_EQ(walk, (QList<int> {50, 7, 0x97, 5, 170, 105}));
}

// Special parameter 254: the prime unlock is acknowledged; the start code after
// it sends the driver into its bootloader without an answer.
TEST(SimWystrelDriver, SpecialParameter)
{
    SimWystrelDriver driver;
    proto::WystrelPacket frame;
    frame.special_setPrimeUnlock();
    EXPECT_TRUE(driver.dmxFrame(frame.getRawDataString()));
    frame.special_setEnterBootloader();
    EXPECT_FALSE(driver.dmxFrame(frame.getRawDataString()));
    EXPECT_EQ(driver.core().primeUnlocks(), 1);
    EXPECT_EQ(driver.core().bootloaderStarts(), 1);
    EXPECT_TRUE(driver.core().inBootloader());
    // Back in the application, a start code without the unlock does nothing.
    proto::WystrelPacket startApp(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    startApp.bootloader_setStartApp();
    EXPECT_FALSE(driver.dmxFrame(startApp.getRawDataString()));
    EXPECT_FALSE(driver.core().inBootloader());
    EXPECT_TRUE(driver.dmxFrame(frame.getRawDataString()));
    EXPECT_EQ(driver.core().bootloaderStarts(), 1);
}

TEST(SimWystrelDriver, NordhuneEepromAndUnio)
{
    SimWystrelDriver driver;
    // EEPROM write 16 on chip 2, then a read whose answer word waits, bytes swapped, in 0x423E.
    EXPECT_TRUE(driver.dmxFrame(wy({0xD0, 0x0B, 0x02, 0xE3, 0x00, 0x10, 0x34, 0x12})));
    EXPECT_EQ(driver.core().nordhuneEeprom(2, 0x10), 0x34);
    EXPECT_TRUE(driver.dmxFrame(wy({0xD0, 0x0B, 0x02, 0xE1, 0x00, 0x10, 0, 0})));
    EXPECT_EQ(answerOf(driver.dmxFrame(readFrame(0x423E))).param_getValue(false, false, true), 0x3412);
    EXPECT_TRUE(driver.dmxFrame(wy({0xD0, 0x0B, 0x00, 0xE0, 0x00, 0x10, 0, 0})));
    EXPECT_EQ(driver.core().parameter(0x403E), 0xFF00); // chip 1 is blank

    // UNI/O: a write needs the write enable before it; a read answers bytes 4 and 6.
    driver.core().setUnioByte(0x20, 0xAB);
    driver.dmxFrame(wy({0xD0, 0x0B, 0x00, 0x7C, 0x6C, 0x00, 0x21, 0x11})); // refused: not enabled
    driver.dmxFrame(wy({0xD0, 0x0B, 0x00, 0x70, 0x96, 0x00, 0x00, 0x00}));
    driver.dmxFrame(wy({0xD0, 0x0B, 0x00, 0x7C, 0x6C, 0x00, 0x21, 0xCD}));
    const proto::WystrelPacket read
        = answerOf(driver.dmxFrame(wy({0xD0, 0x0B, 0x00, 0x7A, 0x03, 0x00, 0x20, 0})));
    EXPECT_EQ(read.getUint8(4), 0xAB);
    EXPECT_EQ(read.getUint8(6), 0xCD);
    EXPECT_FALSE(read.getUint8(7) & 0x02);
}

TEST(SimWystrelDriver, DaliPassThrough)
{
    SimWystrelDriver driver;
    sim::SimDaliGearConfig gear;
    gear.shortAddress = 0;
    driver.core().setDaliGear(std::make_shared<sim::SimDaliGear>(gear));
    proto::DaliPacket query;
    query.setCommand(0x01, 0x90); // QUERY STATUS of short address 0
    const proto::WystrelPacket frame(&query);
    const proto::WystrelPacket answer = answerOf(driver.dmxFrame(frame.getRawDataString()));
    std::unique_ptr<proto::DaliPacket> dali(answer.toDaliPacket());
    ASSERT_TRUE(dali);
    EXPECT_EQ(dali->getDataSize(), 1);

    query.setCommand(0x03, 0x90); // nobody at 1: the answer says so
    dali.reset(answerOf(driver.dmxFrame(proto::WystrelPacket(&query).getRawDataString())).toDaliPacket());
    ASSERT_TRUE(dali);
    EXPECT_TRUE(dali->isTimeoutEvent());
}

TEST(SimWystrelDriver, Faults)
{
    SimWystrelDriver::Config config;
    config.faults.silent = 1;
    config.faults.badChecksum = 1;
    config.faults.errorFlag = 1;
    SimWystrelDriver driver(config);
    EXPECT_FALSE(driver.dmxFrame(readFrame(0)));
    const proto::WystrelPacket flagged = answerOf(driver.dmxFrame(readFrame(0)));
    EXPECT_TRUE(flagged.cmd_hasErrorFlag());
    EXPECT_EQ(flagged.answer_isValid(proto::CHECK_IGNORE_NONE), core::ITF_ERR_PACKET_CHECKSUM);
    EXPECT_EQ(answerOf(driver.dmxFrame(readFrame(0))).answer_isValid(proto::CHECK_IGNORE_NONE), 0);
    driver.faults().silent = sim::SimDriverFaults::Forever;
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(driver.dmxFrame(readFrame(0)));
}

// RDM requests built with the service's codec; the answers decoded with it.
QByteArray rdmRequest(quint16 pid, const QString& target = QString(), int sensor = -1)
{
    proto::RdmPacket request;
    request.fromPid(pid);
    if (!target.isEmpty())
        request.setTargetUid(target);
    if (sensor >= 0) {
        request.setByte(24, quint8(sensor)); // the sensor requests carry one data byte
        request.checksum_recalculate();
    }
    return request.getRawDataString();
}

proto::RdmPacket rdmAnswer(const std::optional<QByteArray>& bytes)
{
    return bytes ? proto::RdmPacket(reinterpret_cast<const unsigned char*>(bytes->constData()), bytes->size())
                 : proto::RdmPacket();
}

TEST(SimRdmResponder, Discovery)
{
    SimRdmResponder responder;
    QString uid;
    EXPECT_EQ(rdmAnswer(responder.dmxFrame(rdmRequest(0x0001))).decodeUid(uid), 0);
    EXPECT_EQ(uid, QStringLiteral("7e2b:00000042"));

    // Muted, it keeps quiet; un-muted by broadcast, it answers again.
    EXPECT_TRUE(responder.dmxFrame(rdmRequest(0x0002, uid)));
    EXPECT_TRUE(responder.isMuted());
    EXPECT_FALSE(responder.dmxFrame(rdmRequest(0x0001)));
    EXPECT_FALSE(responder.dmxFrame(rdmRequest(0x0003)));
    EXPECT_FALSE(responder.isMuted());
    EXPECT_TRUE(responder.dmxFrame(rdmRequest(0x0001)));
}

// Two responders on one line: the box reports their answers as a collision.
TEST(SimRdmResponder, SimultaneousAnswersCollideOnTheLine)
{
    test::SimHost host;
    host.box->addBusModel(std::make_shared<SimRdmResponder>());
    SimRdmResponder::Config other;
    other.uid = 0x7E2B00000043;
    host.box->addBusModel(std::make_shared<SimRdmResponder>(other));
    const QByteArray frame = rdmRequest(0x0001);
    QByteArray report
        = QByteArray::fromHex("138000000004") + QByteArray(1, '\0') + char(frame.size()) + frame;
    host.exchange(report);
    const QList<QByteArray> records = host.pollRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(quint8(records[1].at(2)), 0x04); // frame error, no bytes
    EXPECT_EQ(records[1].size(), 7);
}

TEST(SimRdmResponder, GetMessages)
{
    SimRdmResponder::Config config;
    config.deviceLabel = QStringLiteral("Hall 3");
    config.sensors = {{0, 1, 1, 235, QStringLiteral("Board")}, {1, 2, 2, 2400, QStringLiteral("Supply")}};
    SimRdmResponder responder(config);
    const QString uid = QStringLiteral("7e2b:00000042");

    const auto info = rdmAnswer(responder.dmxFrame(rdmRequest(0x0060, uid))).getDeviceInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->protocolVersion, 0x0100);
    EXPECT_EQ(info->sensorCount, 2);
    const proto::RdmPacket label = rdmAnswer(responder.dmxFrame(rdmRequest(0x0082, uid)));
    EXPECT_EQ(label.answer_isValid(proto::CHECK_IGNORE_NONE), 0);
    EXPECT_EQ(label.getRawDataString().mid(24, label.getUint8(23)), QByteArray("Hall 3"));

    const auto definition = rdmAnswer(responder.dmxFrame(rdmRequest(0x0200, uid, 1))).getSensorDefinition();
    ASSERT_TRUE(definition);
    EXPECT_EQ(definition->type, 1);
    EXPECT_EQ(definition->prefix, 2);
    EXPECT_EQ(definition->description, QStringLiteral("Supply"));
    const auto value = rdmAnswer(responder.dmxFrame(rdmRequest(0x0201, uid, 0))).getSensorValue();
    ASSERT_TRUE(value);
    EXPECT_EQ(*value & 0xFFFF, 235u);
    // A sensor it does not have, a PID it does not know: NACK.
    EXPECT_EQ(rdmAnswer(responder.dmxFrame(rdmRequest(0x0201, uid, 5))).getResponseType(), 0x02);
    EXPECT_FALSE(rdmAnswer(responder.dmxFrame(rdmRequest(0x0201, uid, 5))).getSensorValue());
    // Messages for another UID are not its business.
    EXPECT_FALSE(responder.dmxFrame(rdmRequest(0x0060, QStringLiteral("7e2b:00000099"))));
}

} // namespace
