#pragma once

#include "protocol/usb/vandrel_request.h"

#include <QByteArray>

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

// The request report, or nothing when the form asked for cannot carry the
// frame: the simple form takes exactly 2 bytes (bit patterns: up to the rest of
// the report), the extended form 1 to 4.
std::optional<VandrelReport> buildVandrelDaliRequest(const VandrelDaliRequest& request);

} // namespace tarvesk::proto
