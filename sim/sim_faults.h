#pragma once

#include "sim_call.h"

#include <QtGlobal>

#include <QByteArray>

#include <array>
#include <deque>
#include <functional>

namespace tarvesk::sim {

// What a misbehaving box or cable does, planned ahead by a test or a bench:
// libusb errors per call, short reads, busy and not-ready replies, monitor
// records that are dropped, late or split across polling passes. A count below
// 0 means "for ever". Not thread-safe: the box edits and reads it under its lock.
class SimFaults
{
public:
    static constexpr int Forever = -1;

    // The next `times` calls of that kind fail with the libusb error code.
    void failNext(SimCall call, int libusbError, int times = 1);
    // The next `times` calls of that kind take `ms` milliseconds before they
    // reach the box, as a cable or hub that stalls would (the caller waits).
    void slowNext(SimCall call, int ms, int times = 1);
    // The next `times` monitor polls fail with the libusb error code before
    // they reach the box (its records stay where they are).
    void failPolls(int libusbError, int times = 1);
    // The next `after` monitor polls reach the box; the `times` after them fail
    // with the libusb error code.
    void failPollsAfter(int after, int libusbError, int times);
    // The next `times` bulk IN reads deliver only `bytes` bytes.
    void shortReplies(int bytes, int times = 1);
    // The next `times` replies to `command` (-1: any request but the monitor
    // poll) carry the not-ready bit and byte 1 = `byte1` (1 "no DALI supply", 2 busy).
    void notReady(int command, quint8 byte1, int times = 1);
    // The next `times` replies to `command` (-1: any request but the monitor
    // poll) carry the unsupported bit and nothing else.
    void unsupported(int command, int times = 1);
    // The next `count` monitor records never reach the stream.
    void dropRecords(int count);
    // The box's next `after` records reach the stream, the `count` after them never do.
    void dropRecordsAfter(int after, int count);
    // Records made from now on enter the stream only after `polls` more polls.
    void delayRecords(int polls);
    // Every poll reply ends the polling pass, even with more data waiting, so
    // that a record spans several passes.
    void setSplitPasses(bool on);
    // Every poll reply asks the host to poll again at once: a box that never
    // lets a polling pass end.
    void setEndlessPass(bool on);
    // A host whose monitor thread was not scheduled: after each request report
    // the box answers (never a monitor poll), the function says for how many
    // milliseconds the monitor's next polling pass is held back (0: not at
    // all). The thread waits before it takes any lock, so request threads go on
    // sending meanwhile, and the box records as it always does.
    using PollHoldBack = std::function<int(const QByteArray& request)>;
    void setPollHoldBack(PollHoldBack holdBack) { _pollHoldBack = std::move(holdBack); }
    // The box's bootloader wait never ends: its status stays "running".
    void setBootloaderWaitStuck(bool on) { _bootloaderWaitStuck = on; }
    void clear();

    // Used by the box.
    int takeCallError(SimCall call);
    int takeCallDelay(SimCall call); // milliseconds, 0 for none
    int plannedDelayCount(SimCall call) const { return int(_callDelays[static_cast<int>(call)].size()); }
    int takePollError();
    int takeShortReply(); // -1 for a whole reply
    bool takeNotReady(int command, quint8* byte1);
    bool takeUnsupported(int command);
    bool takeDropRecord();
    int recordDelay() const { return _recordDelay; }
    bool splitPasses() const { return _splitPasses; }
    bool endlessPass() const { return _endlessPass; }
    bool bootloaderWaitStuck() const { return _bootloaderWaitStuck; }
    int pollHoldBackAfter(const QByteArray& request) const
    {
        return _pollHoldBack ? _pollHoldBack(request) : 0;
    }

private:
    struct Planned
    {
        int value;
        int times;
    };
    static bool take(std::deque<Planned>& queue, int* value);

    std::array<std::deque<Planned>, SimCallCount> _callErrors;
    std::array<std::deque<Planned>, SimCallCount> _callDelays;
    std::deque<Planned> _pollErrors;
    int _pollsBeforeFail = 0; // polls to let through before _pollErrors take effect
    std::deque<Planned> _shortReplies;
    struct NotReady
    {
        int command;
        quint8 byte1;
        int times;
    };
    std::deque<NotReady> _notReady;
    std::deque<Planned> _unsupported; // value: the command
    int _keepBeforeDrop = 0;          // records to keep before _dropRecords take effect
    int _dropRecords = 0;
    int _recordDelay = 0;
    bool _splitPasses = false;
    bool _endlessPass = false;
    bool _bootloaderWaitStuck = false;
    PollHoldBack _pollHoldBack;
};

} // namespace tarvesk::sim
