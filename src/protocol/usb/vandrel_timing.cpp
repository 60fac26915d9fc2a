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
// The box's own break setting: a 16-bit register in steps of the newer time-out unit.
constexpr double LongestBoxBreakUs = 65535.0 * NewTimeoutStepUs;
// The mark after the break is the box's own (DMX512 asks at least 8 us); this bounds it.
constexpr int MarkAfterBreakUs = 1000;
// 11 bits at 250 kbit/s, and the slots of a full DMX512 frame.
constexpr int SlotUs = 44;
constexpr int FullFrameSlots = 513;

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

int vandrelDmxLineTimeUs(int breakValue, int slots, unsigned firmware)
{
    const double breakUs = breakValue > 0
        ? vandrelValueToTime(VandrelTimeKind::BreakTime, std::min(breakValue, 255), firmware)
        : LongestBoxBreakUs;
    return int(std::ceil(breakUs)) + MarkAfterBreakUs + std::max(slots, FullFrameSlots) * SlotUs;
}

} // namespace tarvesk::proto
