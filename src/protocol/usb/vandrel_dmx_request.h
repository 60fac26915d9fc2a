#pragma once

#include "protocol/usb/vandrel_request.h"

#include <QByteArray>

#include <optional>
#include <vector>

namespace tarvesk::proto {

class Options;

// What a sender's options ask of one DMX exchange on a Vandrel box, read and
// checked before anything is converted or sent.
struct VandrelDmxOptions
{
    int attempts = 1;               // "retry_count"; below 1 counts as one attempt
    bool expectAnswerGiven = false; // "expect_answer" present, whatever its value
    bool expectAnswer = false;
    std::optional<int> answerTimeout; // "answer_timeout", the box's time-out steps (16 bits)
    int breakValue = 0;               // "break_time" (microseconds) as the box's register value
    bool internal = false;            // "internal": the box's own Dorvane controller takes the frame
    bool bananaMode = false;
    bool encryption = false;
    bool waitForIdle = false;
    bool retryInvalid = false;
    bool isDorvane = false; // "is_dorvane" present, whatever its value

    // ITF_ERR_INVALID_PARAM for a value that cannot be used: a count or time
    // that is not a number, a negative or non-finite time, an "answer_timeout"
    // beyond 16 bits. Absent options take their defaults.
    static int read(const Options& options, unsigned firmware, int defaultAttempts, VandrelDmxOptions& out);
};

// The chain of VD_CMD_DATA reports that carries one frame: the first report
// (up to 56 frame bytes, the timing and the flags) and its continuations (60
// bytes each). Empty for an empty frame or one longer than a chain can carry.
std::vector<VandrelReport> buildVandrelDmxReports(const QByteArray& frame, const VandrelDmxOptions& options);

// The one report of the legacy DMX command, or nothing for a frame that does
// not fit (empty or longer than 60 bytes): cutting it would send a different frame.
std::optional<VandrelReport> buildVandrelLegacyDmxReport(const QByteArray& frame);
// The answer frame carried by a reply to the legacy report (empty: none).
QByteArray vandrelLegacyDmxAnswer(const unsigned char* reply, int size);

} // namespace tarvesk::proto
