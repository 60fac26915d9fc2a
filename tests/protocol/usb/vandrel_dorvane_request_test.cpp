#include "core/itf_error.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/usb/vandrel_box_parameter.h"
#include "protocol/usb/vandrel_dorvane_request.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;

namespace {

QByteArray reportHead(const proto::VandrelReport& report, int count)
{
    return QByteArray(reinterpret_cast<const char*>(report.data()), count).toHex(' ');
}

TEST(VandrelBoxParameter, Reports)
{
    EXPECT_EQ(reportHead(proto::vandrelBoxParameterGet(0x1234), 12),
        QByteArray("19 0d 00 00 01 00 01 12 34 00 00 00"));
    EXPECT_EQ(reportHead(proto::vandrelBoxParameterSet(0x0102, 0xABCD), 12),
        QByteArray("19 0e 00 00 01 00 01 01 02 ab cd 00"));
    const int expected[] = {0, -6, -26, -1, -12, -7, -7};
    for (int code = 0; code < 7; ++code)
        EXPECT_EQ(proto::vandrelBoxParameterStatus(quint8(code)), expected[code]) << code;
    EXPECT_EQ(proto::vandrelBoxParameterStatus(0xFF), core::ITF_ERR_IO);
}

// A 3-byte read request becomes D0 0D 00 00 b0 b1 b2 and the sum of those seven bytes.
TEST(VandrelDorvaneFrame, WrapsTheRequest)
{
    const unsigned char three[] = {0x02, 0x08, 0x00};
    const proto::DorvanePacket read(three, 3);
    std::unique_ptr<proto::WystrelPacket> frame(proto::buildVandrelDorvaneFrame(read, true, false));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->getRawDataString().toHex(' '), QByteArray("d0 0d 00 00 02 08 00 e7"));

    const unsigned char four[] = {0x58, 0x0B, 0x34, 0x12};
    frame.reset(proto::buildVandrelDorvaneFrame(proto::DorvanePacket(four, 4), false, true));
    const int sum = (0xD0 + 0x1E + 0x58 + 0x0B + 0x34 + 0x12) & 0xFF;
    EXPECT_EQ(frame->getRawDataString().toHex(' '),
        QByteArray("d0 1e 00 00 58 0b 34 12 ") + QByteArray::number(sum, 16));
    EXPECT_TRUE(frame->checksum_isValid());

    proto::DorvanePacket tooLong;
    tooLong.resize(proto::RawPacket::MaxDataSize - 4);
    EXPECT_EQ(proto::buildVandrelDorvaneFrame(tooLong, false, false), nullptr);
}

TEST(VandrelDorvaneFrame, ErrorNames)
{
    EXPECT_EQ(proto::vandrelDorvaneErrorName(0), QStringLiteral("VDERR_APPLPARAM_RANGE"));
    EXPECT_EQ(proto::vandrelDorvaneErrorName(10), QStringLiteral("VDERR_SLAVE_NO_REPLY_RECEIVED"));
    EXPECT_EQ(proto::vandrelDorvaneErrorName(17), QStringLiteral("VDERR_INVALID_MODE"));
    EXPECT_EQ(proto::vandrelDorvaneErrorName(18), QStringLiteral("Unknown errorcode: 18"));
}

} // namespace
