#include "log_capture.h"
#include "vandrel_monitor_stream_encoder.h"

#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/usb_vandrel_packet_factory.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace proto = tarvesk::proto;
using tarvesk::sim::MonitorRecord;
using tarvesk::sim::VandrelMonitorStreamEncoder;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

QByteArray payloadOf(const proto::RawPacket& p)
{
    return p.getRawDataString();
}

class Reassembly : public ::testing::Test
{
protected:
    Reassembly()
    {
        QObject::connect(&factory, &proto::UsbVandrelPacketFactory::newPacket,
            [this](proto::RawPacket* p) { packets.emplace_back(p); });
    }

    void feed(const QByteArray& report)
    {
        proto::UsbVandrelPacket reply(
            reinterpret_cast<const unsigned char*>(report.constData()), report.size());
        factory.handlePacket(&reply);
    }

    // Feeds the replies of the records and returns how many packets had come
    // out after each reply.
    std::vector<size_t> feedAll(const QVector<QByteArray>& replies)
    {
        std::vector<size_t> counts;
        for (const QByteArray& reply : replies) {
            feed(reply);
            counts.push_back(packets.size());
        }
        return counts;
    }

    // The replies that carry raw stream bytes, zero-padded.
    static QVector<QByteArray> rawReplies(const QByteArray& stream)
    {
        VandrelMonitorStreamEncoder encoder;
        encoder.enqueueRaw(stream);
        QVector<QByteArray> replies;
        while (encoder.hasPendingReplies())
            replies.append(encoder.nextReply());
        return replies;
    }

    proto::UsbVandrelPacketFactory factory;
    std::vector<std::unique_ptr<proto::RawPacket>> packets;
};

TEST_F(Reassembly, ADaliRecordFollowedByZerosIsEmittedAndTheBufferEmptied)
{
    const QVector<QByteArray> replies
        = VandrelMonitorStreamEncoder::encode({MonitorRecord {2, 17, 0x00, 0x0100, bytes({0xFF, 0x05})}});
    ASSERT_EQ(replies.size(), 1);
    feed(replies[0]);
    ASSERT_EQ(packets.size(), 1u);
    auto* dali = dynamic_cast<proto::DaliPacket*>(packets[0].get());
    ASSERT_NE(dali, nullptr);
    EXPECT_EQ(payloadOf(*dali), bytes({0xFF, 0x05}));
    EXPECT_EQ(dali->getIndex(), 17);
    EXPECT_DOUBLE_EQ(dali->getTimeSinceLast(), 26.624);
    EXPECT_EQ(factory.bufferedBytes(), 0);
}

TEST_F(Reassembly, RecordsSpanningManyRepliesWaitForOneByteBeyondThem)
{
    // 513 payload bytes: 520 stream bytes, done inside the ninth reply.
    QByteArray frame513(513, '\x01');
    frame513[0] = 0;
    const QVector<QByteArray> replies513
        = VandrelMonitorStreamEncoder::encode({MonitorRecord {1, 1, 0, 0, frame513}});
    ASSERT_EQ(replies513.size(), 9);
    EXPECT_EQ(feedAll(replies513), (std::vector<size_t> {0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(payloadOf(*packets[0]), frame513);
    EXPECT_EQ(packets[0]->metaObject(), &proto::DmxPacket::staticMetaObject);
    packets.clear();

    // 533 payload bytes: exactly nine replies; taken only with the tenth.
    QByteArray frame533(533, '\x02');
    frame533[0] = 0;
    const QVector<QByteArray> replies533
        = VandrelMonitorStreamEncoder::encode({MonitorRecord {1, 2, 0, 0, frame533}});
    ASSERT_EQ(replies533.size(), 10);
    EXPECT_EQ(feedAll(replies533), (std::vector<size_t> {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(payloadOf(*packets[0]), frame533);
}

TEST_F(Reassembly, ARecordEndingOnAReplyBoundaryWaitsForTheNextReply)
{
    // Records of 23, 9 and 28 stream bytes fill one reply exactly.
    QByteArray first(16, '\x00');
    QByteArray second(21, '\x00');
    second[0] = char(0xCC);
    const QVector<QByteArray> replies
        = VandrelMonitorStreamEncoder::encode({MonitorRecord {1, 1, 0, 0, first},
            MonitorRecord {1, 2, 0, 0, bytes({0x17, 0x00})}, MonitorRecord {1, 3, 0, 0, second}});
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(feedAll(replies), (std::vector<size_t> {2, 3}));
    EXPECT_NE(dynamic_cast<proto::RdmPacket*>(packets[2].get()), nullptr);
    // An unknown start code keeps the frame whole, as a DMX packet.
    EXPECT_EQ(packets[1]->metaObject(), &proto::DmxPacket::staticMetaObject);
    EXPECT_EQ(payloadOf(*packets[1]), bytes({0x17, 0x00}));
}

TEST_F(Reassembly, EveryRecordTypeMakesItsPacketClass)
{
    const QVector<QByteArray> replies = VandrelMonitorStreamEncoder::encode({
        MonitorRecord {1, 1, 0x04, 1, bytes({0xD0, 0xCD, 0, 0, 0, 0, 0, 0, 0xAD})},
        MonitorRecord {2, 2, 0x08, 2, QByteArray()},
        MonitorRecord {3, 3, 0x00, 3, bytes({0x42, 0xFF, 0x05})},
        MonitorRecord {4, 4, 0x10, 4, bytes({1, 2, 3})},
    });
    feedAll(replies);
    ASSERT_EQ(packets.size(), 4u);
    auto* wystrel = dynamic_cast<proto::WystrelPacket*>(packets[0].get());
    ASSERT_NE(wystrel, nullptr);
    EXPECT_TRUE(wystrel->isFrameError());
    auto* noAnswer = dynamic_cast<proto::DaliPacket*>(packets[1].get());
    ASSERT_NE(noAnswer, nullptr);
    EXPECT_TRUE(noAnswer->isTimeout());
    EXPECT_TRUE(noAnswer->isTimeoutEvent());
    auto* dorvane = dynamic_cast<proto::DorvanePacket*>(packets[2].get());
    ASSERT_NE(dorvane, nullptr);
    EXPECT_EQ(dorvane->getPacketType(), proto::PACKET_TYPE_DORVANE);
    EXPECT_EQ(packets[3]->metaObject(), &proto::RawPacket::staticMetaObject);
    EXPECT_TRUE(packets[3]->isNotHandledByModule());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(packets[size_t(i)]->getIndex(), i + 1);
        EXPECT_DOUBLE_EQ(packets[size_t(i)]->getTimeSinceLast(), (i + 1) * 0.104);
    }
}

// A sender on the DMX line waits for packets of DMX type: empty records (a
// time-out event, a frame error) and a discovery answer, which starts with
// 0xFE, are DMX packets too.
TEST_F(Reassembly, EveryDmxRecordIsADmxPacket)
{
    feedAll(VandrelMonitorStreamEncoder::encode(
        {MonitorRecord {1, 1, 0x08, 0, QByteArray()}, MonitorRecord {1, 2, 0x04, 0, QByteArray()},
            MonitorRecord {1, 3, 0x00, 0, bytes({0xFE, 0xFE, 0xAA, 0xFA, 0xBF})}}));
    ASSERT_EQ(packets.size(), 3u);
    for (const auto& packet : packets) {
        EXPECT_EQ(packet->metaObject(), &proto::DmxPacket::staticMetaObject);
        EXPECT_EQ(packet->getPacketType(), proto::PACKET_TYPE_DMX);
    }
    EXPECT_TRUE(packets[0]->isTimeoutEvent());
    EXPECT_TRUE(packets[1]->isFrameError());
    EXPECT_EQ(payloadOf(*packets[2]), bytes({0xFE, 0xFE, 0xAA, 0xFA, 0xBF}));
}

TEST_F(Reassembly, ReportsWithoutStreamDataChangeNothing)
{
    // Half a record is buffered; the replies below must leave it as it is.
    const QVector<QByteArray> replies
        = VandrelMonitorStreamEncoder::encode({MonitorRecord {4, 1, 0, 0, QByteArray(100, 'x')}});
    feed(replies[0]);
    ASSERT_EQ(factory.bufferedBytes(), 60);

    feed(VandrelMonitorStreamEncoder::emptyReply());
    QByteArray otherCommand = replies[1];
    otherCommand[0] = char(0x80 | 19);
    feed(otherCommand);
    feed(replies[1].left(40)); // a short report
    EXPECT_EQ(factory.bufferedBytes(), 60);
    EXPECT_TRUE(packets.empty());

    feed(replies[1]);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(payloadOf(*packets[0]), QByteArray(100, 'x'));
}

TEST_F(Reassembly, UnknownRecordTypesDropTheBufferAndTheStreamRecovers)
{
    for (int type : {5, 0x7F, 0xFF}) {
        tarvesk::test::LogCapture capture;
        QByteArray stream = bytes({type, 1, 2, 3, 4, 5, 6, 7, 8});
        feedAll(rawReplies(stream));
        EXPECT_TRUE(capture.hasWarningContaining("resynchronise")) << type;
        EXPECT_EQ(factory.bufferedBytes(), 0);
        EXPECT_TRUE(packets.empty());
    }
    feedAll(VandrelMonitorStreamEncoder::encode({MonitorRecord {2, 9, 0, 0, bytes({0xFE, 0xFE})}}));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0]->getIndex(), 9);
}

TEST_F(Reassembly, LengthsThatCannotFitDropTheBuffer)
{
    for (int length : {0xFFFF, 2042, 4000}) {
        tarvesk::test::LogCapture capture;
        MonitorRecord record {1, 1, 0, 0, QByteArray(10, '\0')};
        feedAll(rawReplies(VandrelMonitorStreamEncoder::encodeRecord(record, length)));
        EXPECT_TRUE(capture.hasWarningContaining("resynchronise")) << length;
        EXPECT_EQ(factory.bufferedBytes(), 0);
        EXPECT_TRUE(packets.empty());
    }
}

TEST_F(Reassembly, PayloadsLongerThanAPacketAreSkippedNotCopied)
{
    tarvesk::test::LogCapture capture;
    // A record of 1500 payload bytes followed, in the same burst, by a DALI record.
    const QVector<QByteArray> replies
        = VandrelMonitorStreamEncoder::encode({MonitorRecord {4, 1, 0, 0, QByteArray(1500, char(0xAB))},
            MonitorRecord {2, 2, 0, 0, bytes({0x01, 0x05})}});
    feedAll(replies);
    EXPECT_TRUE(capture.hasWarningContaining("longer than a packet"));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0]->getIndex(), 2);
    EXPECT_EQ(payloadOf(*packets[0]), bytes({0x01, 0x05}));
    EXPECT_EQ(factory.bufferedBytes(), 0);

    // The largest payload a packet holds still comes through.
    packets.clear();
    feedAll(VandrelMonitorStreamEncoder::encode({MonitorRecord {4, 3, 0, 0, QByteArray(1024, 'z')}}));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0]->getDataSize(), 1024);
}

TEST_F(Reassembly, ShortFrameBusesKeepLongRecordsWhole)
{
    // A DALI or Dorvane record longer than any such frame is kept as plain bytes,
    // not cut to its length modulo 256.
    feedAll(VandrelMonitorStreamEncoder::encode({MonitorRecord {2, 1, 0, 0, QByteArray(258, 'd')},
        MonitorRecord {3, 2, 0, 0, QByteArray(300, 'v')}}));
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0]->getDataSize(), 258);
    EXPECT_EQ(packets[1]->getDataSize(), 300);
}

TEST_F(Reassembly, AZeroTypeDiscardsTheRestOfTheReply)
{
    QByteArray stream
        = VandrelMonitorStreamEncoder::encodeRecord(MonitorRecord {2, 1, 0, 0, bytes({0xFF, 0x05})});
    stream.append(char(0));
    stream.append(VandrelMonitorStreamEncoder::encodeRecord(MonitorRecord {2, 2, 0, 0, bytes({0xFF, 0x06})}));
    feedAll(rawReplies(stream));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0]->getIndex(), 1);
    EXPECT_EQ(factory.bufferedBytes(), 0);
}

TEST_F(Reassembly, TextRecordsAreDescribedWithoutChangingThem)
{
    feedAll(VandrelMonitorStreamEncoder::encode({MonitorRecord {4, 1, 0x05, 0, QByteArray("link up")}}));
    ASSERT_EQ(packets.size(), 1u);
    proto::RawPacket& text = *packets[0];
    EXPECT_EQ(text.getPacketInformation(nullptr), "link up");
    EXPECT_EQ(text.getPacketInformation(nullptr), "link up");
    EXPECT_EQ(payloadOf(text), QByteArray("link up"));
    EXPECT_EQ(text.getPacketTypeIdentString(), "LOG ");
}

TEST_F(Reassembly, DaliDeviceTypeIsCarriedAlongTheMonitoredBus)
{
    feedAll(VandrelMonitorStreamEncoder::encode({MonitorRecord {2, 1, 0, 0, bytes({0xC1, 0x08})},
        MonitorRecord {2, 2, 0, 0, bytes({0xFF, 0xE0})}, MonitorRecord {2, 3, 0, 0, bytes({0x7F})}}));
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(static_cast<proto::DaliPacket*>(packets[1].get())->getDeviceType(), 8);
}

TEST_F(Reassembly, EachRecordIsEmittedExactlyOnceAcrossBursts)
{
    VandrelMonitorStreamEncoder encoder;
    int expected = 0;
    for (int burst = 0; burst < 20; ++burst) {
        for (int i = 0; i <= burst % 4; ++i) {
            encoder.enqueue(MonitorRecord {quint8(1 + i % 4), quint8(expected), 0, 0,
                QByteArray(1 + (burst * 37 + i * 11) % 200, char(0x00))});
            ++expected;
        }
        while (encoder.hasPendingReplies())
            feed(encoder.nextReply());
    }
    ASSERT_EQ(packets.size(), size_t(expected));
    for (int i = 0; i < expected; ++i)
        EXPECT_EQ(packets[size_t(i)]->getIndex(), i & 0xFF);
}

} // namespace
