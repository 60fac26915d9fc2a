#include "log_capture.h"

#include "core/itf_error.h"
#include "protocol/raw_packet.h"

#include <gtest/gtest.h>

#include <vector>

using tarvesk::proto::RawPacket;
namespace proto = tarvesk::proto;
namespace core = tarvesk::core;

namespace {

std::vector<int> bytesOf(const RawPacket& p)
{
    const QList<int> list = p.getByteList();
    return std::vector<int>(list.cbegin(), list.cend());
}

RawPacket packetOf(std::vector<unsigned char> bytes)
{
    return RawPacket(bytes.data(), static_cast<int>(bytes.size()));
}

struct HexCase
{
    const char* name;
    QString text;
    int result;
    std::vector<int> bytes; // expected content on success
    QString printed;        // getHexString after success
};

class HexText : public ::testing::TestWithParam<HexCase>
{
};

TEST_P(HexText, ParsesOrRefusesWithMessage)
{
    const HexCase& c = GetParam();
    RawPacket p = packetOf({0x11, 0x22, 0x33});
    tarvesk::test::LogCapture capture;
    ASSERT_EQ(p.fromHexString(c.text), c.result);
    if (c.result == 0) {
        EXPECT_EQ(bytesOf(p), c.bytes);
        EXPECT_EQ(p.getHexString(), c.printed);
        EXPECT_TRUE(capture.warnings().isEmpty());
    } else {
        EXPECT_TRUE(capture.hasWarningContaining("Error parsing input packet: " + c.text.left(16)));
        // A refused text leaves the packet as it was, bytes and size.
        EXPECT_EQ(bytesOf(p), (std::vector<int> {0x11, 0x22, 0x33}));
    }
}

INSTANTIATE_TEST_SUITE_P(RawPacket, HexText,
    ::testing::Values(HexCase {"mixed_case", "0a1B", 0, {0x0A, 0x1B}, "0A1B"},
        HexCase {"one_byte", "ff", 0, {0xFF}, "FF"}, HexCase {"zero_bytes", "0000", 0, {0x00, 0x00}, "0000"},
        HexCase {"odd_length", "0A1", 1, {}, ""}, HexCase {"empty", "", 1, {}, ""},
        HexCase {"not_hex", "0G", 1, {}, ""}, HexCase {"bad_late_pair", "0A1BZZ", 1, {}, ""},
        HexCase {"sign_prefix", "+1", 1, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RawPacket, HexTextAtTheBufferBound)
{
    RawPacket p;
    EXPECT_EQ(p.fromHexString(QString(2 * RawPacket::MaxDataSize, 'a')), 0);
    EXPECT_EQ(p.getDataSize(), RawPacket::MaxDataSize);
    EXPECT_EQ(p.getUint8(RawPacket::MaxDataSize - 1), 0xAA);

    tarvesk::test::LogCapture capture;
    RawPacket q = packetOf({1});
    EXPECT_EQ(q.fromHexString(QString(2 * RawPacket::MaxDataSize + 2, 'b')), 1);
    EXPECT_EQ(q.getDataSize(), 1);
    EXPECT_EQ(q.getUint8(0), 1);
    EXPECT_FALSE(capture.warnings().isEmpty());
}

TEST(RawPacket, PacketStringCutsAtTheSize)
{
    RawPacket p = packetOf({0x0A, 0x1B, 0x2C, 0x3D});
    EXPECT_EQ(p.getPacketString(0, 2), "0A 1B ");
    EXPECT_EQ(p.getPacketString(2, 10), "2C 3D ");
    EXPECT_EQ(p.getPacketString(5, 1), "");
    EXPECT_EQ(p.getPacketString(4, 1), "");
    EXPECT_EQ(p.getPacketString(-1, 3), "");
    EXPECT_EQ(RawPacket().getHexString(), "");
}

TEST(RawPacket, BigEndianReaders)
{
    RawPacket p = packetOf({0x12, 0x34, 0xFE, 0xDC, 0x80});
    EXPECT_EQ(p.getUint8(0), 0x12);
    EXPECT_EQ(p.getUint16(0), 0x1234);
    EXPECT_EQ(p.getInt16(2), static_cast<qint16>(0xFEDC));
    EXPECT_EQ(p.getInt16(2), -292);
    EXPECT_EQ(p.getUint32(1), 0x34FEDC80u);
    EXPECT_TRUE(p.checkMask(4, 0x80));
    EXPECT_FALSE(p.checkMask(4, 0x81));
    // Reads outside the buffer are 0, never memory past it.
    EXPECT_EQ(p.getUint8(-1), 0);
    EXPECT_EQ(p.getUint16(RawPacket::MaxDataSize - 1), 0);
    EXPECT_EQ(p.getUint32(5000), 0u);
}

TEST(RawPacket, EqualityAndFlags)
{
    RawPacket a = packetOf({1, 2, 3});
    RawPacket b = packetOf({1, 2, 3});
    b.setPacketType(proto::PACKET_TYPE_DALI);
    EXPECT_TRUE(a.isEqual(&b));
    EXPECT_FALSE(a == b);
    b.setPacketType(proto::PACKET_TYPE_NOT_SET);
    EXPECT_TRUE(a == b);
    b.appendByte(4);
    EXPECT_FALSE(a.isEqual(&b));
    EXPECT_FALSE(a.isEqual(nullptr));

    a.setFlags(0x08);
    a.setFlags(0x04);
    EXPECT_EQ(a.getFlags(), 0x0C);
    EXPECT_TRUE(a.isFrameError());
    EXPECT_TRUE(a.isTimeoutEvent());
    EXPECT_FALSE(a.isNotHandledByModule());
    RawPacket c;
    c.setFlags(0x10);
    EXPECT_TRUE(c.isTimeoutEvent());
    EXPECT_TRUE(c.isNotHandledByModule());
    EXPECT_FALSE(c.isFrameError());
}

TEST(RawPacket, WritersGrowTheSize)
{
    RawPacket p;
    EXPECT_EQ(p.setByte(3, 0x33), core::ITF_OK);
    EXPECT_EQ(p.getDataSize(), 4);
    p[5] = 0x55;
    EXPECT_EQ(p.getDataSize(), 6);
    EXPECT_EQ(p.appendByte(0x66), core::ITF_OK);
    EXPECT_EQ(p.append(QByteArray("\x77\x88", 2)), core::ITF_OK);
    EXPECT_EQ(bytesOf(p), (std::vector<int> {0, 0, 0, 0x33, 0, 0x55, 0x66, 0x77, 0x88}));

    RawPacket other = packetOf({0xA1, 0xA2, 0xA3});
    EXPECT_EQ(p.appendData(1, &other), core::ITF_OK); // inside: the size stays
    EXPECT_EQ(p.getDataSize(), 9);
    EXPECT_EQ(p.appendDataSubset(9, &other, 1, 2), core::ITF_OK);
    EXPECT_EQ(bytesOf(p), (std::vector<int> {0, 0xA1, 0xA2, 0xA3, 0, 0x55, 0x66, 0x77, 0x88, 0xA2, 0xA3}));
    const unsigned char raw[] = {0xB1, 0xB2};
    EXPECT_EQ(p.appendData(20, raw, 2), core::ITF_OK);
    EXPECT_EQ(p.getDataSize(), 22);
    EXPECT_EQ(p.resize(2), core::ITF_OK);
    EXPECT_EQ(bytesOf(p), (std::vector<int> {0, 0xA1}));
    p.clear();
    EXPECT_EQ(p.getDataSize(), 0);
}

TEST(RawPacket, WritersRefuseToLeaveTheBuffer)
{
    const int max = RawPacket::MaxDataSize;
    RawPacket p = packetOf({1, 2});
    RawPacket other = packetOf({9, 9, 9, 9});
    const unsigned char raw[8] = {};
    std::vector<unsigned char> big(max + 1, 0xEE);

    tarvesk::test::LogCapture capture;
    EXPECT_EQ(p.setByte(max, 1), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.setByte(-1, 1), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.appendData(max - 3, &other), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.appendData(-2, raw, 1), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.appendData(0, raw, -1), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.appendData(0, nullptr, 3), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.appendDataSubset(0, &other, 2, 3), core::ITF_ERR_OVERFLOW); // past the source's bytes
    EXPECT_EQ(p.appendDataSubset(0, &other, -1, 1), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.append(QByteArray(max, 'x')), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.resize(max + 1), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(p.initFromData(big.data(), max + 1), core::ITF_ERR_OVERFLOW);
    p[max] = 0x42;
    p[-5] = 0x42;
    EXPECT_EQ(capture.warnings().size(), 13);
    EXPECT_EQ(bytesOf(p), (std::vector<int> {1, 2}));

    // Appending stops exactly at the bound.
    RawPacket full;
    for (int i = 0; i < max; ++i)
        ASSERT_EQ(full.appendByte(static_cast<unsigned char>(i)), core::ITF_OK);
    EXPECT_EQ(full.appendByte(0), core::ITF_ERR_OVERFLOW);
    EXPECT_EQ(full.getDataSize(), max);

    RawPacket tooBig(big.data(), max + 1);
    EXPECT_EQ(tooBig.getDataSize(), 0);
    RawPacket fits(big.data(), max);
    EXPECT_EQ(fits.getDataSize(), max);
}

TEST(RawPacket, CopyConstructorCopiesAllButTimeSinceLast)
{
    RawPacket src = packetOf({1, 2, 3});
    src.setPacketType(proto::PACKET_TYPE_DMX);
    src.setIndex(7);
    src.setFlags(0x04);
    src.setRetryAttempt(2);
    src.setLogText("note");
    src.setTimeSinceLast(12.5);
    src.setCreationTime(1000);
    src.addAttribute("a", 1);
    src.setSubPacket(new RawPacket(packetOf({0xAA})));

    RawPacket copy(src);
    EXPECT_TRUE(copy == src);
    EXPECT_EQ(copy.getIndex(), 7);
    EXPECT_EQ(copy.getFlags(), 0x04);
    EXPECT_EQ(copy.getRetryAttempt(), 2);
    EXPECT_EQ(copy.getLogText(), "note");
    EXPECT_EQ(copy.getCreationTime(), 1000);
    EXPECT_EQ(copy.getTimeSinceLast(), 0.0);
    EXPECT_EQ(copy.getAttribute("a"), QVariant(1));
    ASSERT_NE(copy.getSubPacket(), nullptr);
    EXPECT_NE(copy.getSubPacket(), src.getSubPacket());
    EXPECT_TRUE(copy.getSubPacket()->isEqual(src.getSubPacket()));
}

TEST(RawPacket, AssignmentKeepsLogTextAndMergesAttributes)
{
    RawPacket src = packetOf({5, 6});
    src.setLogText("source");
    src.setFlags(0x08);
    src.addAttribute("a", 1);
    RawPacket dst = packetOf({9});
    dst.setLogText("mine");
    dst.setFlags(0x04);
    dst.addAttribute("b", 2);

    dst = src;
    EXPECT_TRUE(dst.isEqual(&src));
    EXPECT_EQ(dst.getLogText(), "mine");
    EXPECT_EQ(dst.getFlags(), 0x08);
    EXPECT_EQ(dst.getAttribute("a"), QVariant(1));
    EXPECT_EQ(dst.getAttribute("b"), QVariant(2));

    RawPacket& alias = dst;
    dst = alias;
    EXPECT_EQ(bytesOf(dst), (std::vector<int> {5, 6}));
}

TEST(RawPacket, CopyFromOrsFlagsAndKeepsAttributes)
{
    RawPacket src = packetOf({1, 2, 3});
    src.setPacketType(proto::PACKET_TYPE_DALI);
    src.setIndex(3);
    src.setFlags(0x08);
    src.setTimeSinceLast(4.5);
    src.setRetryAttempt(1);
    src.setCreationTime(123456);
    src.addAttribute("src", 1);
    src.setSubPacket(new RawPacket(packetOf({0x77})));

    RawPacket dst;
    dst.setFlags(0x04);
    dst.addAttribute("dst", 2);
    dst.copyFrom(&src);
    EXPECT_TRUE(dst == src);
    EXPECT_EQ(dst.getFlags(), 0x0C);
    EXPECT_EQ(dst.getIndex(), 3);
    EXPECT_EQ(dst.getTimeSinceLast(), 4.5);
    EXPECT_EQ(dst.getRetryAttempt(), 1);
    EXPECT_EQ(dst.getCreationTime(), 123456);
    EXPECT_TRUE(dst.hasAttribute("dst"));
    EXPECT_FALSE(dst.hasAttribute("src"));
    ASSERT_NE(dst.getSubPacket(), nullptr);
    EXPECT_TRUE(dst.getSubPacket()->isEqual(src.getSubPacket()));

    std::unique_ptr<RawPacket> cloned(src.clone());
    EXPECT_TRUE(*cloned == src);
    EXPECT_EQ(cloned->getTimeSinceLast(), 4.5);
    EXPECT_FALSE(cloned->hasAttribute("src"));
}

TEST(RawPacket, AbsentAttributeIsNotInserted)
{
    RawPacket p;
    EXPECT_FALSE(p.getAttribute("missing").isValid());
    EXPECT_FALSE(p.hasAttribute("missing"));
    EXPECT_EQ(p.attributeBegin(), p.attributeEnd());
}

TEST(RawPacket, DescriptionsAndTexts)
{
    RawPacket entry(QStringLiteral("hello"));
    EXPECT_EQ(entry.getPacketTypeIdentString(), "LOG ");
    EXPECT_EQ(entry.getPacketInformation(nullptr), "hello");
    EXPECT_EQ(RawPacket().getPacketTypeIdentString(), "????");

    RawPacket record(QByteArray("boot ok"));
    record.setFlags(proto::PACKET_FLAGS_TEXT_RECORD);
    EXPECT_EQ(record.getPacketInformation(nullptr), "boot ok");
    EXPECT_EQ(record.getDataSize(), 7); // describing never changes the packet
    EXPECT_EQ(record.getPacketInformation(nullptr), "boot ok");

    RawPacket restart;
    restart.setFlags(proto::PACKET_FLAGS_USB_RESTART);
    EXPECT_EQ(restart.getPacketInformation(nullptr), "USB restart");

    RawPacket p = packetOf({1, 2});
    p.setIndex(7);
    p.setTimeSinceLast(1.5);
    EXPECT_EQ(p.getInfoString(), "(i=  7, t=   1.5, l=  2)");
    p.setCreationTime(QDateTime(QDate(2024, 1, 2), QTime(13, 4, 5, 67)).toMSecsSinceEpoch());
    EXPECT_EQ(p.getTimeStampString(), "13:04:05.067");

    p.calcVariables(nullptr);
    EXPECT_EQ(p.getAttribute("index"), QVariant(7));
    EXPECT_EQ(p.getAttribute("flags"), QVariant(0));
    EXPECT_EQ(p.getAttribute("time_since_last"), QVariant(1.5));
    EXPECT_EQ(p.getAttribute("retry_attempt"), QVariant(0));
    EXPECT_EQ(p.getAttribute("timestamp"), QVariant("13:04:05.067"));
    EXPECT_EQ(p.getRawDataString(), QByteArray("\x01\x02", 2));
}

} // namespace
