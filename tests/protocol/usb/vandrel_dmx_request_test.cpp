#include "core/itf_error.h"
#include "protocol/options.h"
#include "protocol/usb/vandrel_dmx_request.h"
#include "protocol/usb/vandrel_timing.h"

#include <gtest/gtest.h>

#include <QVariantMap>

#include <cmath>
#include <limits>

using namespace tarvesk;
using proto::VandrelTimeKind;

namespace {

QByteArray reportBytes(const proto::VandrelReport& report)
{
    return QByteArray(reinterpret_cast<const char*>(report.data()), int(report.size()));
}

QByteArray frameOf(int size)
{
    QByteArray frame(size, '\0');
    for (int i = 0; i < size; ++i)
        frame[i] = char(i * 7 + 1);
    return frame;
}

proto::VandrelDmxOptions readOptions(const QVariantMap& map, unsigned firmware = 21, int* status = nullptr)
{
    proto::Options options;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        options.addOption(it.key(), it.value());
    proto::VandrelDmxOptions out;
    const int result = proto::VandrelDmxOptions::read(options, firmware, 1, out);
    if (status)
        *status = result;
    return out;
}

// The conversions as the interface's documentation gives them, computed here
// from the step sizes rather than taken from the code.
TEST(VandrelTiming, ConversionsByFirmware)
{
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::BreakTime, 176, 15), 2);
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::BreakTime, 176, 16),
        int(std::trunc(std::sqrt(176 / 2.664))) + 1); // 9
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::BreakTime, 88, 21), 6);
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::AnswerTimeout, 1000, 15), 255); // 1501
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::AnswerTimeout, 1000, 16), 255); // 375
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::AnswerTimeout, 100, 16), 37);
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::AnswerTimeout, 0, 21), 0);
    EXPECT_EQ(proto::vandrelTimeToValue(VandrelTimeKind::BreakTime, -176, 21), 0); // no root of a negative

    EXPECT_EQ(proto::vandrelValueToTime(VandrelTimeKind::AnswerTimeout, 1000, 15), 666);
    EXPECT_EQ(proto::vandrelValueToTime(VandrelTimeKind::AnswerTimeout, 1000, 16), 2664);
    EXPECT_EQ(proto::vandrelValueToTime(VandrelTimeKind::BreakTime, 2, 15), 176);
    EXPECT_EQ(proto::vandrelValueToTime(VandrelTimeKind::BreakTime, 9, 16), int(std::trunc(81 * 2.664)));
}

// The host never gives up before the default wait; a long "answer_timeout"
// lengthens it (65535 steps of 2.664 us are 174.6 ms).
TEST(VandrelTiming, AnswerWait)
{
    EXPECT_EQ(proto::vandrelDmxAnswerWaitMs(std::nullopt, 21, false), 36);
    EXPECT_EQ(proto::vandrelDmxAnswerWaitMs(std::nullopt, 21, true), 131);
    EXPECT_EQ(proto::vandrelDmxAnswerWaitMs(4000, 21, true), 131); // 10.7 ms asked: the default stays
    EXPECT_EQ(proto::vandrelDmxAnswerWaitMs(255, 21, false), 36);
    EXPECT_EQ(proto::vandrelDmxAnswerWaitMs(65535, 21, true), int(std::ceil(65535 * 2.664 / 1000)));
    EXPECT_EQ(proto::vandrelDmxAnswerWaitMs(65000, 15, false), int(std::ceil(65000 * 0.666 / 1000)));
}

// How long a frame may keep the DMX line: its break (255 steps: 255 x 255 x
// 2.664 us = 173.2 ms from firmware 16, 255 x 88 us = 22.4 ms before; none
// given: the box's own setting, at most 65535 x 2.664 us), a mark after the
// break of at most 1 ms, and the slots at 44 us each (at least 513 of them).
TEST(VandrelTiming, LineTime)
{
    const int fullFrame = 513 * 44;
    EXPECT_EQ(proto::vandrelDmxLineTimeUs(255, 3, 21), int(std::trunc(255 * 255 * 2.664)) + 1000 + fullFrame);
    EXPECT_EQ(proto::vandrelDmxLineTimeUs(255, 3, 15), 255 * 88 + 1000 + fullFrame);
    EXPECT_EQ(proto::vandrelDmxLineTimeUs(0, 3, 21), int(std::ceil(65535 * 2.664)) + 1000 + fullFrame);
    EXPECT_EQ(proto::vandrelDmxLineTimeUs(1, 1000, 15), 88 + 1000 + 1000 * 44);
}

struct ChainCase
{
    int size;
    int reports;
    int lastCount;
};

class VandrelDmxChain : public ::testing::TestWithParam<ChainCase>
{
};

// The frame goes out in order across the reports: 56 bytes in the first, 60 in
// each continuation, the rest in the last.
TEST_P(VandrelDmxChain, SplitsTheFrame)
{
    const ChainCase c = GetParam();
    const QByteArray frame = frameOf(c.size);
    const auto reports = proto::buildVandrelDmxReports(frame, proto::VandrelDmxOptions());
    ASSERT_EQ(int(reports.size()), c.reports);
    EXPECT_EQ(reports[0][0], 0x13);
    EXPECT_EQ(reports[0][1], 0x80 + c.reports - 1);
    EXPECT_EQ(reports[0][7], qMin(c.size, 56));
    QByteArray carried = reportBytes(reports[0]).mid(8, reports[0][7]);
    EXPECT_EQ(reportBytes(reports[0]).mid(8 + reports[0][7]), QByteArray(56 - reports[0][7], '\0'));
    for (size_t k = 1; k < reports.size(); ++k) {
        EXPECT_EQ(reports[k][0], 0x13);
        EXPECT_EQ(reports[k][1], int(k));
        EXPECT_EQ(reports[k][2], 0);
        carried += reportBytes(reports[k]).mid(4, reports[k][3]);
    }
    EXPECT_EQ(carried, frame);
    if (c.reports > 1) {
        EXPECT_EQ(reports.back()[3], c.lastCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, VandrelDmxChain,
    ::testing::Values(ChainCase {1, 1, 0}, ChainCase {56, 1, 0}, ChainCase {57, 2, 1}, ChainCase {116, 2, 60},
        ChainCase {117, 3, 1}, ChainCase {513, 9, 37}, ChainCase {1024, 18, 8}));

TEST(VandrelDmxReport, TimingAndFlags)
{
    int status = 1;
    const auto options = readOptions({{"expect_answer", true}, {"internal", true}, {"answer_timeout", 0x1234},
                                         {"break_time", 176}, {"encryption", true}, {"wait_for_idle", true}},
        21, &status);
    ASSERT_EQ(status, 0);
    const auto reports = proto::buildVandrelDmxReports(frameOf(3), options);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reportBytes(reports[0]).left(11).toHex(' '), QByteArray("13 80 09 12 34 3c 00 03 01 08 0f"));

    // Banana mode asks for the internal path too; "expect_answer" false sets no flag.
    const auto banana = readOptions({{"banana_mode", true}, {"expect_answer", false}}, 15);
    EXPECT_TRUE(banana.expectAnswerGiven);
    EXPECT_EQ(proto::buildVandrelDmxReports(frameOf(1), banana)[0][5], 0x08);
    // Older firmware counts the break in 88 us steps.
    EXPECT_EQ(proto::buildVandrelDmxReports(frameOf(1), readOptions({{"break_time", 176}}, 15))[0][2], 2);
    EXPECT_TRUE(proto::buildVandrelDmxReports(QByteArray(), options).empty());
}

struct OptionCase
{
    const char* name;
    QVariantMap options;
    int status;
    int attempts;
};

class VandrelDmxOptionCheck : public ::testing::TestWithParam<OptionCase>
{
};

// Values are checked before anything is converted: a negative or non-finite
// time, a time-out beyond the 16 bits of the report, a count that is no number.
TEST_P(VandrelDmxOptionCheck, RefusesWhatCannotBeSent)
{
    const OptionCase& c = GetParam();
    int status = 1;
    const auto options = readOptions(c.options, 21, &status);
    EXPECT_EQ(status, c.status);
    if (c.status == 0) {
        EXPECT_EQ(options.attempts, c.attempts);
    }
}

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(Cases, VandrelDmxOptionCheck,
    ::testing::Values(OptionCase {"defaults", {}, 0, 1}, OptionCase {"retries", {{"retry_count", 5}}, 0, 5},
        OptionCase {"zero_retries", {{"retry_count", 0}}, 0, 1},
        OptionCase {"negative_retries", {{"retry_count", -4}}, 0, 1},
        OptionCase {"text_retries", {{"retry_count", "many"}}, core::ITF_ERR_INVALID_PARAM, 0},
        OptionCase {"timeout_16_bits", {{"answer_timeout", 65535}}, 0, 1},
        OptionCase {"timeout_too_long", {{"answer_timeout", 65536}}, core::ITF_ERR_INVALID_PARAM, 0},
        OptionCase {"negative_timeout", {{"answer_timeout", -1}}, core::ITF_ERR_INVALID_PARAM, 0},
        OptionCase {"nan_timeout", {{"answer_timeout", NaN}}, core::ITF_ERR_INVALID_PARAM, 0},
        OptionCase {"negative_break", {{"break_time", -176}}, core::ITF_ERR_INVALID_PARAM, 0},
        OptionCase {"infinite_break", {{"break_time", Inf}}, core::ITF_ERR_INVALID_PARAM, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The legacy report refuses a frame longer than its 60 bytes rather than cutting it.
TEST(VandrelLegacyDmxReport, OneReportOrNone)
{
    const auto report = proto::buildVandrelLegacyDmxReport(frameOf(60));
    ASSERT_TRUE(report);
    EXPECT_EQ((*report)[0], 0x02);
    EXPECT_EQ((*report)[1], 60);
    EXPECT_EQ(reportBytes(*report).mid(2, 60), frameOf(60));
    EXPECT_FALSE(proto::buildVandrelLegacyDmxReport(frameOf(61)));
    EXPECT_FALSE(proto::buildVandrelLegacyDmxReport(QByteArray()));

    proto::VandrelReport reply = {};
    reply[2] = 3;
    reply[3] = 0xD0;
    reply[4] = 0x8D;
    reply[5] = 0x01;
    EXPECT_EQ(proto::vandrelLegacyDmxAnswer(reply.data(), int(reply.size())), QByteArray("\xD0\x8D\x01", 3));
    reply[2] = 200; // more than the report holds
    EXPECT_EQ(proto::vandrelLegacyDmxAnswer(reply.data(), int(reply.size())).size(), 61);
    EXPECT_EQ(proto::vandrelLegacyDmxAnswer(reply.data(), 2), QByteArray()); // a short reply
}

} // namespace
