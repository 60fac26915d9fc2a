#pragma once

#include "protocol/usb/vandrel_request.h"

#include <QByteArray>
#include <QVector>

#include <optional>

namespace tarvesk::proto {

class Options;

// What one DALI request asks of the box.
struct VandrelDaliRequest
{
    QByteArray frame;
    // The box can time the bus and takes the extended form, with settling,
    // answer and stop-bit times; fullBitbang asks for the simple form all the same.
    bool timedBus = false;
    bool fullBitbang = false; // the frame bytes are raw bit patterns
    bool sendTwice = false;
    bool expectAnswer = false;
    // Milliseconds; what is not a positive number goes out as 0.
    double settlingTimeMs = 0;
    double answerTimeoutMs = 0;
    double stopbitTimeMs = 0;

    // The request for a frame from a sender's options ("full_bitbang",
    // "send_twice", "expect_answer", and the times "settling_time",
    // "answer_timeout", "stopbit_time"); a time that is no number counts as 0.
    static VandrelDaliRequest fromOptions(const QByteArray& frame, bool timedBus, const Options& options);
};

// The smallest and largest frame, in bytes, that a request can carry: the
// extended form 1 to 4, the simple form exactly 2, a bit-bang pattern (always
// the simple form) 1 up to the rest of the report.
struct VandrelDaliFrameSizes
{
    int min = 0;
    int max = 0;
};
VandrelDaliFrameSizes vandrelDaliFrameSizes(bool timedBus, bool fullBitbang);

// The request report, or nothing when the form asked for cannot carry the
// frame (vandrelDaliFrameSizes).
std::optional<VandrelReport> buildVandrelDaliRequest(const VandrelDaliRequest& request);

// A bit-bang pattern of level times in microseconds (the even positions one
// level, the odd ones the other) as the box takes it: byte 0 the number of
// times (low 8 bits), then each time in the box's 6.25 us ticks, less the
// box's own 22 us at even positions and plus 20 us at odd ones, held to
// 1..255 and truncated.
QByteArray vandrelDaliBitbangPattern(const QVector<int>& timesUs);

} // namespace tarvesk::proto
