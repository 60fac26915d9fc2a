#pragma once

#include <optional>

namespace tarvesk::proto {

// The two DMX timings the box takes as 8-bit register values: the answer
// time-out and the break before a frame.
enum class VandrelTimeKind : int { AnswerTimeout = 0, BreakTime = 1 };

// The register value of a time (answer time-out in microseconds, break time in
// microseconds) for a box of that firmware version: 0 for a time of 0 or less,
// 255 for anything above 254. Firmware before 16 counts in 0.666 us (time-out)
// and 88 us (break) steps; later firmware in 2.664 us steps, the break as the
// square root of its steps plus one.
int vandrelTimeToValue(VandrelTimeKind kind, int time, unsigned firmware);
// The time of a register value (0 for a value of 0 or less).
int vandrelValueToTime(VandrelTimeKind kind, int value, unsigned firmware);

// How long the host waits for the answer to a DMX frame, in milliseconds: the
// default (36 ms, or 131 ms when the box reports time-outs itself), or longer
// when the "answer_timeout" value (the box's time-out steps) asks for more.
// Never shorter than the default: a short box time-out must not make the host
// give up before the box has reported.
int vandrelDmxAnswerWaitMs(std::optional<int> answerTimeout, unsigned firmware, bool timeoutEvents);

// The longest the box may take to put a DMX frame of `slots` slots (start code
// included) on the line, in microseconds: its break (`breakValue` as sent in
// the report; 0 leaves the break to the box's own setting, which may be as
// long as its break register allows), the mark after the break, and the slots
// (at least a full DMX512 frame's, the box's channel count may pad it).
int vandrelDmxLineTimeUs(int breakValue, int slots, unsigned firmware);

} // namespace tarvesk::proto
