#include "protocol/usb/vandrel_dali_request.h"

#include "protocol/options.h"

#include <algorithm>

namespace tarvesk::proto {

namespace {

constexpr int SimpleFrameOffset = 2;
constexpr int MaxBitbangBytes = UsbPacket::ReportSize - SimpleFrameOffset;
constexpr int ExtendedFrameOffset = 4;

double milliseconds(const Options& options, const QString& name)
{
    bool ok = false;
    const double ms = options.getOption(name).toDouble(&ok);
    return ok ? ms : 0;
}

void putFrame(VandrelReport& report, int offset, const QByteArray& frame)
{
    std::copy(frame.cbegin(), frame.cend(), report.begin() + offset);
}

constexpr double BitbangTickUs = 6.25;
constexpr double BitbangEvenOffsetUs = -22.0;
constexpr double BitbangOddOffsetUs = 20.0;
constexpr double BitbangMinTicks = 1.0;
constexpr double BitbangMaxTicks = 255.0;

bool fits(const VandrelDaliRequest& request)
{
    const VandrelDaliFrameSizes sizes = vandrelDaliFrameSizes(request.timedBus, request.fullBitbang);
    return request.frame.size() >= sizes.min && request.frame.size() <= sizes.max;
}

std::optional<VandrelReport> extendedRequest(const VandrelDaliRequest& request)
{
    const int size = request.frame.size();
    const int settling = vandrelTimeUnits(request.settlingTimeMs, 0xFFFF);
    VandrelReport report = vandrelCommandRequest(vandrel::VD_CMD_DALI);
    report[1] = quint8(vandrel::DaliExtended | (request.sendTwice ? vandrel::DaliSendTwice : 0));
    report[2] = 1;
    report[3]
        = quint8(size + vandrel::DaliLengthMarker + (request.expectAnswer ? vandrel::DaliExpectAnswer : 0));
    putFrame(report, ExtendedFrameOffset, request.frame);
    report[8] = quint8(settling >> 8);
    report[9] = quint8(settling & 0xFF);
    report[10] = quint8(vandrelTimeUnits(request.answerTimeoutMs, 0xFF));
    report[11] = quint8(vandrelTimeUnits(request.stopbitTimeMs, 0xFF));
    return report;
}

std::optional<VandrelReport> simpleRequest(const VandrelDaliRequest& request)
{
    VandrelReport report = vandrelCommandRequest(vandrel::VD_CMD_DALI);
    report[1] = quint8((request.fullBitbang ? vandrel::DaliFullBitbang : 0)
        | (request.sendTwice ? vandrel::DaliSendTwice : 0));
    putFrame(report, SimpleFrameOffset, request.frame);
    return report;
}

} // namespace

VandrelDaliRequest VandrelDaliRequest::fromOptions(
    const QByteArray& frame, bool timedBus, const Options& options)
{
    VandrelDaliRequest request;
    request.frame = frame;
    request.timedBus = timedBus;
    request.fullBitbang = options.isOptionTrue(option::FullBitbang);
    request.sendTwice = options.isOptionTrue(option::SendTwice);
    request.expectAnswer = options.isOptionTrue(option::ExpectAnswer);
    request.settlingTimeMs = milliseconds(options, option::SettlingTime);
    request.answerTimeoutMs = milliseconds(options, option::AnswerTimeout);
    request.stopbitTimeMs = milliseconds(options, option::StopbitTime);
    return request;
}

VandrelDaliFrameSizes vandrelDaliFrameSizes(bool timedBus, bool fullBitbang)
{
    if (fullBitbang)
        return {1, MaxBitbangBytes};
    if (timedBus)
        return {1, vandrel::DaliExtendedMaxFrame};
    return {2, 2};
}

std::optional<VandrelReport> buildVandrelDaliRequest(const VandrelDaliRequest& request)
{
    if (!fits(request))
        return std::nullopt;
    if (request.timedBus && !request.fullBitbang)
        return extendedRequest(request);
    return simpleRequest(request);
}

QByteArray vandrelDaliBitbangPattern(const QVector<int>& timesUs)
{
    QByteArray pattern;
    pattern.append(char(timesUs.size() & 0xFF));
    for (int i = 0; i < timesUs.size(); ++i) {
        const double offset = i % 2 == 0 ? BitbangEvenOffsetUs : BitbangOddOffsetUs;
        const double ticks = (double(timesUs.at(i)) + offset) / BitbangTickUs;
        pattern.append(char(int(std::clamp(ticks, BitbangMinTicks, BitbangMaxTicks))));
    }
    return pattern;
}

} // namespace tarvesk::proto
