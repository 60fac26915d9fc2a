#include "protocol/usb/vandrel_dmx_request.h"

#include "core/itf_error.h"
#include "protocol/options.h"
#include "protocol/usb/vandrel_timing.h"

#include <algorithm>
#include <cmath>

namespace tarvesk::proto {

namespace {

constexpr int FirstFrameOffset = 8;
constexpr int ContinuationFrameOffset = 4;
constexpr int LegacyFrameOffset = 2;
constexpr int LegacyAnswerOffset = 3;

// A number option as a whole number: nothing when absent, false when it is no
// finite number, lies below min or above max.
bool wholeNumber(
    const Options& options, const QString& key, double min, double max, std::optional<double>& out)
{
    if (!options.hasOption(key))
        return true;
    bool ok = false;
    const double value = options.getOption(key).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < min || value > max)
        return false;
    out = std::trunc(value);
    return true;
}

void putBytes(VandrelReport& report, int offset, const QByteArray& bytes, int from, int count)
{
    std::copy(bytes.cbegin() + from, bytes.cbegin() + from + count, report.begin() + offset);
}

} // namespace

int VandrelDmxOptions::read(
    const Options& options, unsigned firmware, int defaultAttempts, VandrelDmxOptions& out)
{
    std::optional<double> retries;
    std::optional<double> timeout;
    std::optional<double> breakTime;
    if (!wholeNumber(options, option::RetryCount, -1e9, 1e9, retries)
        || !wholeNumber(options, option::AnswerTimeout, 0, 0xFFFF, timeout)
        || !wholeNumber(options, option::BreakTime, 0, 1e9, breakTime))
        return core::ITF_ERR_INVALID_PARAM;
    out = VandrelDmxOptions();
    out.attempts = std::max(1, retries ? int(*retries) : defaultAttempts);
    out.expectAnswerGiven = options.hasOption(option::ExpectAnswer);
    out.expectAnswer = options.isOptionTrue(option::ExpectAnswer);
    if (timeout)
        out.answerTimeout = int(*timeout);
    if (breakTime)
        out.breakValue = vandrelTimeToValue(VandrelTimeKind::BreakTime, int(*breakTime), firmware);
    out.internal = options.isOptionTrue(option::Internal);
    out.bananaMode = options.isOptionTrue(option::BananaMode);
    out.encryption = options.isOptionTrue(option::Encryption);
    out.waitForIdle = options.isOptionTrue(option::WaitForIdle);
    out.retryInvalid = options.isOptionTrue(option::RetryInvalid);
    out.isDorvane = options.hasOption(option::IsDorvane);
    return core::ITF_OK;
}

std::vector<VandrelReport> buildVandrelDmxReports(const QByteArray& frame, const VandrelDmxOptions& options)
{
    const int size = frame.size();
    const int firstCount = std::min(size, vandrel::DmxFirstReportMaxFrame);
    const int rest = size - firstCount;
    const int continuations
        = (rest + vandrel::DmxContinuationMaxFrame - 1) / vandrel::DmxContinuationMaxFrame;
    if (size == 0 || continuations > vandrel::DmxMaxContinuations)
        return {};

    std::vector<VandrelReport> reports;
    VandrelReport first = vandrelCommandRequest(vandrel::VD_CMD_DATA);
    first[1] = quint8(vandrel::DmxFirstReport + continuations);
    first[2] = quint8(options.breakValue);
    const int timeout = options.answerTimeout.value_or(0);
    first[3] = quint8(timeout >> 8);
    first[4] = quint8(timeout & 0xFF);
    first[5] = quint8((options.expectAnswer ? vandrel::DmxExpectAnswer : 0)
        | (options.internal || options.bananaMode ? vandrel::DmxInternal : 0)
        | (options.encryption ? vandrel::DmxEncryption : 0)
        | (options.waitForIdle ? vandrel::DmxWaitForIdle : 0));
    first[7] = quint8(firstCount);
    putBytes(first, FirstFrameOffset, frame, 0, firstCount);
    reports.push_back(first);

    int from = firstCount;
    for (int k = 1; k <= continuations; ++k) {
        const int count = std::min(size - from, vandrel::DmxContinuationMaxFrame);
        VandrelReport next = vandrelCommandRequest(vandrel::VD_CMD_DATA);
        next[1] = quint8(k);
        next[3] = quint8(count);
        putBytes(next, ContinuationFrameOffset, frame, from, count);
        reports.push_back(next);
        from += count;
    }
    return reports;
}

std::optional<VandrelReport> buildVandrelLegacyDmxReport(const QByteArray& frame)
{
    if (frame.isEmpty() || frame.size() > vandrel::LegacyDmxMaxFrame)
        return std::nullopt;
    VandrelReport report = vandrelCommandRequest(vandrel::VD_CMD_LEGACY_DMX);
    report[1] = quint8(frame.size());
    putBytes(report, LegacyFrameOffset, frame, 0, frame.size());
    return report;
}

QByteArray vandrelLegacyDmxAnswer(const unsigned char* reply, int size)
{
    if (reply == nullptr || size <= LegacyAnswerOffset)
        return QByteArray();
    const int length = std::min<int>(reply[2], size - LegacyAnswerOffset);
    return QByteArray(reinterpret_cast<const char*>(reply) + LegacyAnswerOffset, length);
}

} // namespace tarvesk::proto
