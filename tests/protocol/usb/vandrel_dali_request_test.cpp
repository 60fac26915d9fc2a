#include "protocol/options.h"
#include "protocol/usb/vandrel_dali_request.h"

#include <gtest/gtest.h>

#include <QVariantMap>

#include <limits>

using namespace tarvesk;

namespace {

// The report as hex text, without its trailing zero bytes.
QString requestText(const QByteArray& frame, bool timedBus, const proto::Options& options)
{
    const auto report
        = proto::buildVandrelDaliRequest(proto::VandrelDaliRequest::fromOptions(frame, timedBus, options));
    if (!report)
        return QStringLiteral("refused");
    QByteArray bytes(reinterpret_cast<const char*>(report->data()), int(report->size()));
    EXPECT_EQ(bytes.size(), 64);
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

struct RequestCase
{
    const char* name;
    bool extended; // the interface can time the bus
    QByteArray frame;
    QVariantMap options;
    const char* expected;
};

class VandrelDaliRequest : public ::testing::TestWithParam<RequestCase>
{
};

TEST_P(VandrelDaliRequest, Bytes)
{
    const RequestCase& c = GetParam();
    proto::Options options;
    for (auto it = c.options.cbegin(); it != c.options.cend(); ++it)
        options.addOption(it.key(), it.value());
    EXPECT_EQ(requestText(c.frame, c.extended, options), QString::fromLatin1(c.expected));
}

const QByteArray kFrame("\x07\x91", 2);
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Times in units of 0.104 ms: 10 ms = 96 (0x60), 20 ms = 192 (0xC0), 1 ms = 9,
// 15 ms = 144 (0x90), 13.4 ms = 128 (0x80), 1.664 ms = 16 (0x10).
INSTANTIATE_TEST_SUITE_P(Reports, VandrelDaliRequest,
    ::testing::Values(RequestCase {"simple", false, kFrame, {}, "0A 00 07 91"},
        RequestCase {"simple_twice", false, kFrame, {{"send_twice", true}}, "0A 80 07 91"},
        RequestCase {"simple_three_bytes", false, QByteArray("\x01\x02\x03", 3), {}, "refused"},
        RequestCase {
            "bitbang", false, QByteArray("\x01\x02\x03", 3), {{"full_bitbang", true}}, "0A 02 01 02 03"},
        RequestCase {"bitbang_on_extended", true, kFrame, {{"full_bitbang", true}, {"send_twice", true}},
            "0A 82 07 91"},
        RequestCase {"extended", true, kFrame,
            {{"expect_answer", true}, {"settling_time", 10.0}, {"answer_timeout", 20.0},
                {"stopbit_time", 1.0}},
            "0A 40 01 32 07 91 00 00 00 60 C0 09"},
        RequestCase {"extended_defaults_twice", true, kFrame,
            {{"send_twice", true}, {"settling_time", 15.0}, {"answer_timeout", 13.4},
                {"stopbit_time", 1.664}},
            "0A C0 01 12 07 91 00 00 00 90 80 10"},
        // 100 ms is 961 units: the 8-bit field holds its maximum, it does not wrap to 0xC1.
        RequestCase {"clamped", true, kFrame,
            {{"settling_time", 10000.0}, {"answer_timeout", 100.0}, {"stopbit_time", 30.0}},
            "0A 40 01 12 07 91 00 00 FF FF FF FF"},
        RequestCase {"nonsense_times", true, kFrame,
            {{"settling_time", -5.0}, {"answer_timeout", kNaN}, {"stopbit_time", QStringLiteral("soon")}},
            "0A 40 01 12 07 91"},
        RequestCase {
            "extended_four_bytes", true, QByteArray("\x01\x02\x03\x04", 4), {}, "0A 40 01 14 01 02 03 04"},
        RequestCase {"extended_five_bytes", true, QByteArray("\x01\x02\x03\x04\x05", 5), {}, "refused"},
        RequestCase {"extended_empty", true, QByteArray(), {}, "refused"},
        RequestCase {
            "bitbang_past_the_report", false, QByteArray(63, '\x05'), {{"full_bitbang", true}}, "refused"},
        RequestCase {"bitbang_empty", true, QByteArray(), {{"full_bitbang", true}}, "refused"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VandrelDaliFrameSizes, FollowTheRequestForm)
{
    const struct
    {
        bool timedBus;
        bool bitbang;
        int min;
        int max;
    } cases[] = {{true, false, 1, 4}, {false, false, 2, 2}, {true, true, 1, 62}, {false, true, 1, 62}};
    for (const auto& c : cases) {
        const proto::VandrelDaliFrameSizes sizes = proto::vandrelDaliFrameSizes(c.timedBus, c.bitbang);
        EXPECT_EQ(sizes.min, c.min) << c.timedBus << c.bitbang;
        EXPECT_EQ(sizes.max, c.max) << c.timedBus << c.bitbang;
    }
    // A pattern of 62 bytes fills the report up to its last byte.
    proto::VandrelDaliRequest request;
    request.fullBitbang = true;
    request.frame = QByteArray(62, '\x05');
    const auto report = proto::buildVandrelDaliRequest(request);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->at(1), proto::vandrel::DaliFullBitbang);
    EXPECT_EQ(report->at(2), 0x05);
    EXPECT_EQ(report->back(), 0x05);
}

// The box counts bit-bang levels in 6.25 us ticks, 22 us short at even and
// 20 us long at odd positions; the count is held to 1..255.
TEST(VandrelDaliBitbangPattern, CountThenTicksPerTime)
{
    const struct
    {
        QVector<int> timesUs;
        QByteArray expected;
    } cases[] = {
        {{100, 100, 1700},
            QByteArray::fromHex("03"
                                "0c"
                                "13"
                                "ff")}, // 12.48, 19.2, 268.48
        {{0, 0},
            QByteArray::fromHex("02"
                                "01"
                                "03")}, // -3.52 held to 1, 3.2
        {{22, -20},
            QByteArray::fromHex("02"
                                "01"
                                "01")}, // 0 and 0, held to 1
        {{1615, 1574},
            QByteArray::fromHex("02"
                                "fe"
                                "ff")}, // 254.88, 255.04
        {{-2000000000, 2000000000},
            QByteArray::fromHex("02"
                                "01"
                                "ff")},
        {QVector<int>(256, 50),
            QByteArray::fromHex("00" + QByteArray("040b").repeated(128))}, // 256 counts as 0
    };
    for (const auto& c : cases)
        EXPECT_EQ(proto::vandrelDaliBitbangPattern(c.timesUs).toHex(), c.expected.toHex());
}

} // namespace
