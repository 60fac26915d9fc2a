#include "protocol/usb/vandrel_timing.h"

#include "protocol/usb/vandrel_commands.h"

#include <algorithm>
#include <cmath>

namespace tarvesk::proto {

namespace {

constexpr float OldTimeoutStepUs = 0.666f;
constexpr float NewTimeoutStepUs = 2.664f;
constexpr float OldBreakStepUs = 88.0f;
constexpr int MaxValue = 254;

bool newTiming(unsigned firmware)
{
    return firmware >= unsigned(vandrel::NewDmxTimingFirmware);
}

} // namespace

int vandrelTimeToValue(VandrelTimeKind kind, int time, unsigned firmware)
{
    if (time <= 0)
        return 0;
    const float t = float(time);
    double value = 0;
    switch (kind) {
    case VandrelTimeKind::AnswerTimeout:
        value = std::trunc(t / (newTiming(firmware) ? NewTimeoutStepUs : OldTimeoutStepUs));
        break;
    case VandrelTimeKind::BreakTime:
        value = newTiming(firmware) ? std::trunc(std::sqrt(t / NewTimeoutStepUs)) + 1
                                    : std::trunc(t / OldBreakStepUs);
        break;
    }
    return value > MaxValue ? 255 : int(value);
}

int vandrelValueToTime(VandrelTimeKind kind, int value, unsigned firmware)
{
    if (value <= 0)
        return 0;
    const double v = value;
    switch (kind) {
    case VandrelTimeKind::AnswerTimeout:
        return int(std::trunc(v * (newTiming(firmware) ? 2.664 : 0.666)));
    case VandrelTimeKind::BreakTime:
        return newTiming(firmware) ? int(std::trunc(v * v * 2.664)) : int(v * 88);
    }
    return 0;
}

int vandrelDmxAnswerWaitMs(std::optional<int> answerTimeout, unsigned firmware, bool timeoutEvents)
{
    const int defaultMs = timeoutEvents ? vandrel::DmxAnswerWaitTimeoutEventsMs : vandrel::DmxAnswerWaitMs;
    const int defaultValue = vandrelTimeToValue(VandrelTimeKind::AnswerTimeout, defaultMs * 1000, firmware);
    if (!answerTimeout || *answerTimeout <= defaultValue)
        return defaultMs;
    const int us = vandrelValueToTime(VandrelTimeKind::AnswerTimeout, *answerTimeout, firmware);
    return std::max(defaultMs, (us + 999) / 1000);
}

} // namespace tarvesk::proto
