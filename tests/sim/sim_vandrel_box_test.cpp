#include "sim_test_support.h"

#include "wait_until.h"

#include <QElapsedTimer>
#include <QHash>

using namespace tarvesk;
using sim::SimBoxConfig;
using sim::SimCall;
using sim::SimDaliAnswer;
using sim::SimFaults;
using tarvesk::test::SimHost;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// DALI gear that answers the queries it was given, and nothing else.
class AnsweringGear : public sim::SimBusModel
{
public:
    explicit AnsweringGear(QHash<QByteArray, SimDaliAnswer> answers)
        : _answers(std::move(answers))
    { }
    Bus bus() const override { return Dali; }
    QString modelName() const override { return QStringLiteral("answering gear"); }
    SimDaliAnswer daliFrame(const QByteArray& frame) override
    {
        frames.append(frame);
        return _answers.value(frame);
    }
    QList<QByteArray> frames;

private:
    QHash<QByteArray, SimDaliAnswer> _answers;
};

// A DMX responder that answers every frame with its start code and length.
class EchoResponder : public sim::SimBusModel
{
public:
    Bus bus() const override { return Dmx; }
    QString modelName() const override { return QStringLiteral("echo"); }
    std::optional<QByteArray> dmxFrame(const QByteArray& frame) override
    {
        frames.append(frame);
        return QByteArray(1, frame.at(0)) + char(frame.size() >> 8) + char(frame.size() & 0xFF);
    }
    QList<QByteArray> frames;
};

SimBoxConfig firmware(int version)
{
    SimBoxConfig config;
    config.firmwareVersion = static_cast<quint8>(version);
    return config;
}

QByteArray daliRecord(quint8 index, quint8 flags, const QByteArray& payload)
{
    sim::MonitorRecord record;
    record.type = 2;
    record.index = index;
    record.flags = flags;
    record.payload = payload;
    return sim::VandrelMonitorStreamEncoder::encodeRecord(record);
}

} // namespace

TEST(SimBox, PresentsItselfOnUsb)
{
    SimBoxConfig config;
    config.release = 0x1810;
    config.manufacturer = QStringLiteral("Tarvesk");
    config.product = QStringLiteral("Vandrel");
    config.serial = 4711;
    SimHost host(config);
    libusb_device_descriptor descriptor {};
    ASSERT_EQ(host.libUsb->getDeviceDescriptor(host.device, &descriptor), 0);
    EXPECT_EQ(descriptor.idVendor, 0x04D8);
    EXPECT_EQ(descriptor.idProduct, 0xFF00);
    EXPECT_EQ(descriptor.bcdDevice, 0x1810);

    unsigned char buffer[128] = {};
    auto readString = [&](int index) {
        return host.libUsb->controlTransfer(host.handle, 0x80, 6, 0x0300 | index, 0x0409, buffer, 128, 1000);
    };
    ASSERT_EQ(readString(descriptor.iProduct), 2 + 2 * 7);
    EXPECT_EQ(
        QByteArray(reinterpret_cast<char*>(buffer), 16), QByteArray("\x10\x03V\0a\0n\0d\0r\0e\0l\0", 16));
    ASSERT_EQ(readString(descriptor.iSerialNumber), 2 + 2 * 4);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer + 2), 4), QStringLiteral("4711"));
    ASSERT_EQ(readString(0), 4);
    EXPECT_EQ(readString(9), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(host.libUsb->controlTransfer(host.handle, 0x00, 9, 1, 0, buffer, 0, 1000), LIBUSB_ERROR_PIPE);
}

TEST(SimBox, AnswersRegisterParameterAndStatusReports)
{
    SimBoxConfig config;
    config.firmwareVersion = 19;
    config.subversion = 7;
    config.capabilities = 0x24;
    config.serial = 0x00120034;
    SimHost host(config);
    struct Case
    {
        int address;
        quint16 value;
    };
    for (const Case& c :
        {Case {0, 19}, Case {1, 7}, Case {3, 0x24}, Case {6, 0x12}, Case {7, 0x34}, Case {14, 7}}) {
        const QByteArray reply = host.exchange(hex("0d00") + char(c.address));
        EXPECT_EQ(reply.left(3), hex("8d00") + char(c.address)) << c.address;
        EXPECT_EQ((quint8(reply[3]) << 8) | quint8(reply[4]), c.value) << c.address;
    }
    EXPECT_EQ(host.exchange(hex("0e01301234")).left(5), hex("8e01301234"));
    EXPECT_EQ(host.box->registerValue(0x130), 0x1234);

    // The box parameter report reaches the driver on the Dorvane port; without
    // one the box reports a time-out (result 1 in byte 6).
    EXPECT_EQ(host.exchange(hex("190e000001000100055aa5")).mid(6, 3), hex("010000"));
    EXPECT_EQ(host.exchange(hex("190d0000010001000500")).mid(6, 3), hex("010000"));

    host.box->setStatusBlock(hex("010203"));
    const QByteArray status = host.exchange(hex("20"));
    EXPECT_EQ(status.size(), 64);
    EXPECT_EQ(status.mid(1, 4), hex("01020300"));

    // Reports it does not know carry the unsupported bit.
    EXPECT_EQ(quint8(host.exchange(hex("17")).at(0)), 0xC0 | 0x17);
}

TEST(SimBox, OlderFirmwareHasNoMonitorStream)
{
    SimHost host(firmware(12));
    EXPECT_EQ(quint8(host.poll().at(0)), 0xC0 | 0x14);
    EXPECT_EQ(quint8(host.exchange(hex("1380")).at(0)), 0xC0 | 0x13);
}

TEST(SimBox, StreamRecordsArriveByTheHostsRules)
{
    SimHost host;
    EXPECT_EQ(host.poll().left(2), hex("9403")); // nothing to fetch

    // A short record and the zeros after it: complete after one reply.
    host.box->pushRecord(2, 7, 0, hex("ff90"));
    int polls = 0;
    EXPECT_EQ(host.pollRecords(1, &polls), QList<QByteArray>({daliRecord(7, 0, hex("ff90"))}));
    EXPECT_EQ(polls, 1);

    // 513 payload bytes (520 with the header) end inside the ninth reply; 533
    // (540, nine whole replies) need a tenth reply of zeros to be taken.
    for (int payload : {513, 533}) {
        polls = 0;
        const QByteArray frame(payload, char(0x11));
        host.box->pushRecord(1, 1, 0, frame);
        const QList<QByteArray> records = host.pollRecords(1, &polls);
        ASSERT_EQ(records.size(), 1) << payload;
        EXPECT_EQ(records[0].mid(7), frame);
        EXPECT_EQ(polls, payload == 513 ? 9 : 10);
        EXPECT_TRUE(host.buffer.isEmpty());
    }
}

TEST(SimBox, RecordFaults)
{
    SimHost host;
    host.box->editFaults([](SimFaults& f) { f.dropRecords(1); });
    host.box->pushRecord(2, 1, 0, hex("01"));
    host.box->pushRecord(2, 2, 0, hex("02"));
    EXPECT_EQ(host.pollRecords(), QList<QByteArray>({daliRecord(2, 0, hex("02"))}));

    // A run lost after some kept: records 11 and 12 reach the stream, 13 to 15 do not.
    host.box->editFaults([](SimFaults& f) { f.dropRecordsAfter(2, 3); });
    for (quint8 index = 11; index <= 16; ++index)
        host.box->pushRecord(2, index, 0, QByteArray(1, char(index)));
    EXPECT_EQ(host.pollRecords(),
        QList<QByteArray>(
            {daliRecord(11, 0, hex("0b")), daliRecord(12, 0, hex("0c")), daliRecord(16, 0, hex("10"))}));

    // Late: records made now show up only after two more polls, in their order.
    host.box->editFaults([](SimFaults& f) { f.delayRecords(2); });
    host.box->pushRecord(2, 3, 0, hex("03"));
    host.box->editFaults([](SimFaults& f) { f.delayRecords(0); });
    host.box->pushRecord(2, 4, 0, hex("04"));
    EXPECT_TRUE(host.pollRecords().isEmpty());
    EXPECT_EQ(
        host.pollRecords(), QList<QByteArray>({daliRecord(3, 0, hex("03")), daliRecord(4, 0, hex("04"))}));

    // Split: every reply ends the pass, so a long record spans several passes.
    host.box->editFaults([](SimFaults& f) { f.setSplitPasses(true); });
    host.box->pushRecord(1, 5, 0, QByteArray(100, char(0x22)));
    EXPECT_TRUE(host.pollRecords(1).isEmpty());
    EXPECT_EQ(host.pollRecords(1).size(), 1);

    // A box that never lets a pass end keeps saying "poll again", data or not.
    host.box->editFaults([](SimFaults& f) { f.setEndlessPass(true); });
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(host.poll().at(1), 0);
}

TEST(SimBox, DaliFramesAndTheirAnswersBecomeRecords)
{
    auto gear = std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("ffa0"), SimDaliAnswer::answer(0xFE)}});
    SimHost host(firmware(21));
    host.box->addBusModel(gear);

    // Simple form: 0A flags b0 b1.
    EXPECT_EQ(host.exchange(hex("0a00ffa0")).left(2), hex("8a00"));
    EXPECT_EQ(
        host.pollRecords(), QList<QByteArray>({daliRecord(0, 0, hex("ffa0")), daliRecord(1, 0, hex("fe"))}));

    // Extended form with an expected answer that does not come: a time-out event.
    EXPECT_EQ(host.exchange(hex("0a40013201a100000060c00900")).left(1), hex("8a"));
    EXPECT_EQ(
        host.pollRecords(), QList<QByteArray>({daliRecord(2, 0, hex("01a1")), daliRecord(3, 0x08, {})}));

    // Sent twice: the gear sees it twice.
    gear->frames.clear();
    host.exchange(hex("0a80ff20"));
    EXPECT_EQ(gear->frames, QList<QByteArray>({hex("ff20"), hex("ff20")}));
    EXPECT_EQ(host.pollRecords().size(), 2);

    // Two answers at once collide: an empty record with the frame-error flag.
    host.box->addBusModel(std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("ffa0"), SimDaliAnswer::answer(0x10)}}));
    host.exchange(hex("0a00ffa0"));
    EXPECT_EQ(host.pollRecords().value(1), daliRecord(7, 0x04, {}));
}

TEST(SimBox, ALateAnswerFollowsTheTimeOutAsAStrayRecord)
{
    const QByteArray query = hex("0a40013201a100000060c00900"); // 01 A1, an answer expected
    SimHost host(firmware(21));
    host.box->addBusModel(std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("01a1"), SimDaliAnswer::late(0x42)}}));
    host.exchange(query);
    EXPECT_EQ(host.pollRecords(),
        QList<QByteArray>(
            {daliRecord(0, 0, hex("01a1")), daliRecord(1, 0x08, {}), daliRecord(2, 0, hex("42"))}));

    // An answer in time is the answer; the late one is not heard beside it.
    host.box->addBusModel(std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("01a1"), SimDaliAnswer::answer(0x10)}}));
    host.exchange(query);
    EXPECT_EQ(
        host.pollRecords(), QList<QByteArray>({daliRecord(3, 0, hex("01a1")), daliRecord(4, 0, hex("10"))}));
}

TEST(SimBox, DaliOnOlderFirmwareIsFetchedWithStatusAndData)
{
    SimHost host(firmware(12));
    host.box->addBusModel(std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("ffa0"), SimDaliAnswer::answer(0x42)}}));
    host.exchange(hex("0a00ffa0"));
    EXPECT_EQ(host.exchange(hex("0c")).left(3), hex("8c04ff")); // data ready
    EXPECT_EQ(host.exchange(hex("0b")).mid(3, 1), hex("42"));
    EXPECT_EQ(host.exchange(hex("0c")).left(3), hex("8c08ff")); // nothing more
    host.exchange(hex("0a00ff90"));
    EXPECT_EQ(host.exchange(hex("0c")).left(3), hex("8c08ff"));
}

TEST(SimBox, NotReadyAndBusyReplies)
{
    SimHost host;
    host.box->editFaults([](SimFaults& f) {
        f.notReady(0x0A, 1);                     // no DALI supply, once
        f.notReady(0x0A, 2, SimFaults::Forever); // then busy for ever
    });
    EXPECT_EQ(host.exchange(hex("0a00ffa0")).left(2), hex("aa01"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(host.exchange(hex("0a00ffa0")).left(2), hex("aa02"));
    // Other reports are not affected.
    EXPECT_EQ(host.exchange(hex("0d0000")).left(1), hex("8d"));
}

TEST(SimBox, DmxFrameInAChainOfReports)
{
    auto responder = std::make_shared<EchoResponder>();
    SimHost host;
    host.box->addBusModel(responder);
    QByteArray frame(116, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(i);
    // First report: 13, 0x80 + continuations, break, timeout high/low, flags (expect answer), 0, count.
    const QByteArray first = hex("1381000000040038") + frame.left(56);
    const QByteArray reply = host.exchange(first);
    const quint8 index = quint8(reply[1]);
    EXPECT_TRUE(responder->frames.isEmpty());
    EXPECT_EQ(host.exchange(hex("1301003c") + frame.mid(56)).left(2), hex("9301"));
    ASSERT_EQ(responder->frames, QList<QByteArray>({frame}));
    const QList<QByteArray> records = host.pollRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(quint8(records[0][1]), index);
    EXPECT_EQ(records[0].mid(7), frame);
    EXPECT_EQ(quint8(records[1][1]), quint8(index + 1));
    EXPECT_EQ(records[1].mid(7), hex("000074"));

    // A continuation out of order is refused and nothing reaches the line.
    host.exchange(hex("1381000000000038") + frame.left(56));
    EXPECT_EQ(quint8(host.exchange(hex("1302003c") + frame.mid(56)).at(0)), 0xC0 | 0x13);
    EXPECT_EQ(responder->frames.size(), 1);
}

// Recording after the line: a DMX frame (break register 100: 26.6 ms from
// firmware 16) is recorded, with its answer, once the line has carried it; the
// DALI frame sent after it is recorded first, with the indices after the DMX
// frame's.
TEST(SimBox, ADmxFrameIsRecordedOnceTheLineCarriedIt)
{
    auto responder = std::make_shared<EchoResponder>();
    SimHost host(firmware(21));
    host.box->addBusModel(responder);
    host.box->addBusModel(std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("ffa0"), SimDaliAnswer::answer(0xFE)}}));
    host.box->setDmxRecordedAfterLine(true);
    QElapsedTimer sent;
    sent.start();
    const quint8 index = quint8(host.exchange(hex("1380640000040003cc0102"))[1]);
    host.exchange(hex("0a00ffa0"));
    QList<QByteArray> records = host.pollRecords();
    ASSERT_TRUE(tarvesk::test::waitUntil([&] {
        records += host.pollRecords();
        return records.size() >= 4;
    }));
    EXPECT_GE(sent.elapsed(), 26); // not before the line carried it
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[0], daliRecord(quint8(index + 2), 0, hex("ffa0")));
    EXPECT_EQ(records[1], daliRecord(quint8(index + 3), 0, hex("fe")));
    EXPECT_EQ(quint8(records[2][1]), index);
    EXPECT_EQ(records[2].mid(7), hex("cc0102"));
    EXPECT_EQ(quint8(records[3][1]), quint8(index + 1));
    EXPECT_EQ(records[3].mid(7), hex("cc0003"));
}

TEST(SimBox, LegacyDmxAnswersInTheReply)
{
    auto responder = std::make_shared<EchoResponder>();
    SimHost host(firmware(12));
    host.box->addBusModel(responder);
    const QByteArray reply = host.exchange(hex("0203cc0102"));
    EXPECT_EQ(responder->frames, QList<QByteArray>({hex("cc0102")}));
    EXPECT_EQ(reply.mid(2, 4), hex("03cc0003"));
}

TEST(SimBox, UnpluggedBoxIsGone)
{
    SimHost host;
    host.box->unplug();
    EXPECT_TRUE(host.exchange(hex("0d0000")).isEmpty());
    int transferred = 0;
    unsigned char data[64] = {0x0D};
    EXPECT_EQ(
        host.libUsb->bulkTransfer(host.handle, 0x01, data, 64, &transferred, 1000), LIBUSB_ERROR_NO_DEVICE);
    libusb_device** list = nullptr;
    EXPECT_EQ(host.libUsb->getDeviceList(host.context, &list), 0);
    host.libUsb->freeDeviceList(list, 1);

    // Plugged in again it is a new USB device; the old handle stays dead.
    host.box->replug();
    EXPECT_EQ(
        host.libUsb->bulkTransfer(host.handle, 0x01, data, 64, &transferred, 1000), LIBUSB_ERROR_NO_DEVICE);
    ASSERT_EQ(host.libUsb->getDeviceList(host.context, &list), 1);
    EXPECT_NE(list[0], host.device);
    libusb_device_handle* fresh = nullptr;
    EXPECT_EQ(host.libUsb->open(list[0], &fresh), 0);
    EXPECT_EQ(host.libUsb->claimInterface(fresh, 0), 0);
    host.libUsb->close(fresh);
    host.libUsb->freeDeviceList(list, 1);
    EXPECT_TRUE(host.libUsb->violations().isEmpty());
}

TEST(SimLibUsbRules, ReportsMisuse)
{
    struct Case
    {
        const char* name;
        std::function<void(SimHost&)> misuse;
        const char* violation;
    };
    unsigned char data[64] = {0x0D};
    int transferred = 0;
    const Case cases[] = {
        {"two requests",
            [&](SimHost& h) {
                h.libUsb->bulkTransfer(h.handle, 0x01, data, 64, &transferred, 1000);
                h.libUsb->bulkTransfer(h.handle, 0x01, data, 64, &transferred, 1000);
            },
            "request written while the reply to the previous one was unread"},
        {"read first",
            [&](SimHost& h) { h.libUsb->bulkTransfer(h.handle, 0x81, data, 64, &transferred, 1000); },
            "reply read without a request"},
        {"unclaimed",
            [&](SimHost& h) {
                h.libUsb->releaseInterface(h.handle, 0);
                h.libUsb->bulkTransfer(h.handle, 0x01, data, 64, &transferred, 1000);
            },
            "bulk transfer on an interface that is not claimed"},
        {"closed handle",
            [&](SimHost& h) {
                h.libUsb->close(h.handle);
                h.libUsb->bulkTransfer(h.handle, 0x01, data, 64, &transferred, 1000);
                h.handle = nullptr;
            },
            "bulk_transfer with a handle that was closed"},
        {"exit while open",
            [&](SimHost& h) {
                h.libUsb->exit(h.context);
                h.libUsb->init(&h.context);
                h.handle = nullptr;
                h.device = nullptr;
            },
            "exit while 1 devices are referenced and 1 handles open; they are now invalid"},
    };
    for (const Case& c : cases) {
        SimHost host;
        c.misuse(host);
        EXPECT_TRUE(host.libUsb->violations().contains(QString::fromLatin1(c.violation)))
            << c.name << ": " << host.libUsb->violations().join('\n').toStdString();
    }
}

TEST(SimBusTime, AdvancesOnlyWithBusTiming)
{
    auto gear = std::make_shared<AnsweringGear>(
        QHash<QByteArray, SimDaliAnswer> {{hex("ffa0"), SimDaliAnswer::answer(0xFE)}});
    SimHost instant;
    instant.box->addBusModel(gear);
    instant.exchange(hex("0a00ffa0"));
    EXPECT_EQ(instant.box->busStats().daliFrames, 2);
    EXPECT_EQ(instant.box->busStats().busTimeUs, 0);

    auto libUsb = std::make_shared<sim::SimLibUsb>(sim::SimTiming::BusTime);
    auto box = libUsb->addBox();
    box->addBusModel(gear);
    unsigned char request[64] = {0x0A, 0x00, 0xFF, 0xA0};
    unsigned char reply[64] = {};
    box->exchange(request, 64, reply);
    // IEC 62386-101 at 1200 bit/s: a half bit Te of 416.7 us; a forward frame of
    // two bytes is a start bit, 16 bits and a 4 Te stop condition (38 Te) after
    // the 13.5 ms settling that follows a forward frame; the backward frame (a
    // start bit, 8 bits, the stop condition: 22 Te) starts 5.5 ms after it.
    const double te = 1000000.0 / 2400;
    const double forwardUs = 13500 + 38 * te;
    const double backwardUs = 5500 + 22 * te;
    EXPECT_NEAR(box->busTimeUs(), forwardUs + backwardUs, 1.0);
    // After a backward frame the next forward frame needs only 2.4 ms.
    box->exchange(request, 64, reply);
    EXPECT_NEAR(box->busTimeUs(), 2 * forwardUs + 2 * backwardUs - (13500 - 2400), 1.0);
    EXPECT_EQ(libUsb->busStats().daliFrames, 4);
    // The answer record carries the time since the forward frame's record, in 0.104 ms ticks.
    unsigned char poll[64] = {0x14};
    box->exchange(poll, 64, reply);
    const int answerTicks = (reply[4 + 9 + 3] << 8) | reply[4 + 9 + 4];
    EXPECT_EQ(answerTicks, int(backwardUs / 104));
}
