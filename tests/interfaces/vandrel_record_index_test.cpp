#include "interfaces/vandrel_record_index.h"

#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/packet_mutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

using namespace tarvesk;
using itf::VandrelRecordIndex;

namespace {

// A record as the monitor completes it: the box's index byte of `count`; the
// payload says which count it really was, so a test can tell an older frame's
// answer from the awaited one.
std::unique_ptr<proto::RawPacket> record(VandrelRecordIndex::Count count, bool dmx = true)
{
    const unsigned char payload[2] = {quint8(count >> 8), quint8(count & 0xFF)};
    std::unique_ptr<proto::RawPacket> packet;
    if (dmx)
        packet = std::make_unique<proto::DmxPacket>(payload, 2);
    else
        packet = std::make_unique<proto::DaliPacket>(payload, 2);
    packet->setIndex(int(count & 0xFF));
    return packet;
}

// The records the monitor reports for the counts first..last, in order; DMX
// frames take two counts (frame and answer), DALI records one.
void report(VandrelRecordIndex& index, VandrelRecordIndex::Count first, VandrelRecordIndex::Count last,
    bool dmx = true)
{
    for (VandrelRecordIndex::Count c = first; c <= last; ++c)
        index.takeRecord(*record(c, dmx));
}

// Gives `frames` DMX frames in a row from the box's point of view; the count of the last.
VandrelRecordIndex::Count give(VandrelRecordIndex& index, int frames)
{
    VandrelRecordIndex::Count last = -1;
    for (int i = 0; i < frames; ++i) {
        const VandrelRecordIndex::Count floor = index.floor();
        last = index.given(quint8(floor & 0xFF), floor);
    }
    return last;
}

std::vector<VandrelRecordIndex::Count> taken(proto::PacketMutex& mutex, int skip)
{
    std::vector<VandrelRecordIndex::Count> counts;
    while (!mutex.waitForReplyIndex(0)) {
        if (skip-- > 0)
            continue;
        const proto::RawPacket* p = mutex.getPacket();
        counts.push_back((VandrelRecordIndex::Count(p->getUint8(0)) << 8) | p->getUint8(1));
    }
    return counts;
}

struct WrapCase
{
    const char* name;
    // DALI records the box makes between the older frames and the awaited one.
    int daliBetween;
    // Whether the older frames' and the DALI records are reported before the
    // awaited frame's count is known (else during the wait, after it).
    bool olderReportedFirst;
};

// Unawaited frames (each takes two indices), DALI records, then an awaited
// frame whose answer has the first frame's answer's byte (count 1): the waiter
// gets its own answer only, whenever the older one is reported.
TEST(VandrelRecordIndex, TheAwaitedAnswerIsKnownByItsCountPastTheWrap)
{
    const std::vector<WrapCase> cases = {
        {"127 frames between, older answer reported during the wait", 0, false},
        {"127 frames between, older answer reported before the count was known", 0, true},
        {"77 frames and 100 DALI records between, reported during the wait", 100, false},
        {"77 frames and 100 DALI records between, reported before", 100, true},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.name);
        VandrelRecordIndex index;
        const int frames = (256 - c.daliBetween) / 2;
        EXPECT_EQ(give(index, frames), 2 * frames - 2);
        const VandrelRecordIndex::Count frame = 256; // the box's next index: byte 0 again
        const auto reportOlder = [&] {
            report(index, 0, 2 * frames - 1);
            report(index, 2 * frames, frame - 1, false);
        };
        proto::PacketMutex mutex(0, false);
        mutex.setInterfaceType(proto::PACKET_TYPE_DMX);
        index.beginAwait(&mutex);
        if (c.olderReportedFirst)
            reportOlder();
        const VandrelRecordIndex::Count floor = index.floor();
        EXPECT_EQ(index.given(0, floor), frame);
        const int older = index.awaitAnswer(frame + 1);
        mutex.expectIndex(int((frame + 1) & 0xFF));
        if (!c.olderReportedFirst)
            reportOlder();
        report(index, frame, frame + 1);
        // The answer is handed on once a pass begun after the frame drained the box.
        index.passCompleted(VandrelRecordIndex::Clock::now() + std::chrono::milliseconds(1));
        const std::vector<VandrelRecordIndex::Count> answers = taken(mutex, older);
        index.endAwait();
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0], frame + 1);
    }
}

// While nobody waits, and for DALI records, the index takes nothing: the
// monitor's other sinks and its installed mutex see every record as before.
TEST(VandrelRecordIndex, TakesNothingWhileNobodyWaits)
{
    VandrelRecordIndex index;
    give(index, 3);
    for (VandrelRecordIndex::Count c = 0; c < 6; ++c)
        EXPECT_FALSE(index.takeRecord(*record(c)));
    proto::PacketMutex mutex(0, false);
    index.beginAwait(&mutex);
    EXPECT_FALSE(index.takeRecord(*record(6, false)));
    EXPECT_TRUE(index.takeRecord(*record(7)));
    index.endAwait();
    EXPECT_FALSE(index.takeRecord(*record(8)));
}

// A box as the index sees it, driven by a bus order given as data: the box
// numbers every record, may lose records as it makes them, and the monitor
// reports them later, in order.
class ScriptedBox
{
public:
    explicit ScriptedBox(VandrelRecordIndex::Count next)
        : _next(next)
    { }

    enum Kind {
        Unawaited,       // n plain DMX frames: two indices each, only the frame's record (nobody answers)
        Answered,        // n DMX frames not awaited whose answers are recorded: frame and answer
        Dali,            // n DALI records (another master's traffic), one index each
        Lose,            // the next n records the box makes never reach the stream
        Report,          // the monitor reports every record made so far
        Pass,            // a monitor pass that begins now drains the box
        LatePass,        // one that begins once every frame given so far is off the line
        Await,           // an awaited frame and its answer, then n DALI records; all reported, then a pass
        AwaitInTransfer, // an awaited frame; what the box held is reported while its report goes out
        AwaitLaterFirst, // an awaited frame; n DALI records numbered after it are reported while its
                         // report goes out, before the frame's own records
        AwaitOnTheLine   // an awaited frame still on the line at the first drained pass after it went out
    };
    struct Step
    {
        Kind kind;
        int n = 0;
    };

    // Runs the steps; one letter per awaited frame: R its own answer, M none,
    // E none and the wait failed (the answer could not be told), W another frame's.
    std::string run(VandrelRecordIndex& index, const std::vector<Step>& steps)
    {
        std::string outcome;
        for (const Step& step : steps) {
            switch (step.kind) {
            case Unawaited:
            case Answered:
                for (int i = 0; i < step.n; ++i) {
                    const VandrelRecordIndex::Count floor = index.floor();
                    index.dmxFrameGoesOut(OnTheLine);
                    index.given(quint8(_next & 0xFF), floor);
                    make(_next, true);
                    if (step.kind == Answered)
                        make(_next + 1, true);
                    _next += 2;
                }
                break;
            case Dali:
                for (int i = 0; i < step.n; ++i)
                    make(_next++, false);
                break;
            case Lose:
                _lose += step.n;
                break;
            case Report:
                report(index);
                break;
            case Pass:
                pass(index);
                break;
            case LatePass:
                pass(index, std::chrono::hours(1));
                break;
            case Await:
            case AwaitInTransfer:
                outcome += await(index, step.kind == AwaitInTransfer, step.n);
                break;
            case AwaitLaterFirst:
                outcome += await(index, false, 0, step.n);
                break;
            case AwaitOnTheLine:
                outcome += await(index, false, 0, 0, true);
                break;
            }
        }
        return outcome;
    }

private:
    void make(VandrelRecordIndex::Count count, bool dmx)
    {
        if (_lose > 0) {
            --_lose;
            return;
        }
        _pending.push_back(record(count, dmx));
    }

    void report(VandrelRecordIndex& index)
    {
        for (const auto& r : _pending)
            index.takeRecord(*r);
        _pending.clear();
    }

    // Begins after everything so far, whatever the resolution of the clock;
    // a frame's time on the line (OnTheLine) is not over unless `later` says so.
    void pass(VandrelRecordIndex& index, std::chrono::milliseconds later = std::chrono::milliseconds(1))
    {
        report(index);
        index.passCompleted(VandrelRecordIndex::Clock::now() + later);
    }

    char await(VandrelRecordIndex& index, bool olderInTransfer, int daliAfter, int laterReportedFirst = 0,
        bool onTheLine = false)
    {
        proto::PacketMutex mutex(0, false);
        mutex.setInterfaceType(proto::PACKET_TYPE_DMX);
        index.beginAwait(&mutex);
        const VandrelRecordIndex::Count floor = index.floor();
        if (olderInTransfer)
            report(index);
        index.dmxFrameGoesOut(OnTheLine);
        const VandrelRecordIndex::Count frame = _next;
        _next += 2;
        for (int i = 0; i < laterReportedFirst; ++i)
            make(_next++, false);
        if (laterReportedFirst > 0)
            report(index);
        const VandrelRecordIndex::Count count = index.given(quint8(frame & 0xFF), floor);
        const int older = index.awaitAnswer(count + 1);
        mutex.expectIndex(int((count + 1) & 0xFF));
        // Another master's DALI frames numbered after ours may be recorded before it.
        for (int i = 0; i < daliAfter; ++i)
            make(_next++, false);
        if (onTheLine)
            pass(index);
        make(frame, true);
        make(frame + 1, true);
        pass(index);
        const std::vector<VandrelRecordIndex::Count> answers = taken(mutex, older);
        index.endAwait();
        if (answers.empty())
            return mutex.feedEndStatus() != 0 ? 'E' : 'M';
        return answers.size() == 1 && answers[0] == frame + 1 ? 'R' : 'W';
    }

    // How long each frame may keep the line: longer than a row takes.
    static constexpr std::chrono::seconds OnTheLine {10};
    VandrelRecordIndex::Count _next;
    int _lose = 0;
    std::deque<std::unique_ptr<proto::RawPacket>> _pending;
};

// Bus orders as data: lost runs of records, older records unreported at the
// first frame, foreign records numbered after a frame reported before it, 256
// and more records unreported when frames go out. No awaited frame is ever
// handed another frame's answer; after a loss the index recovers by the next
// exchange at the latest.
TEST(VandrelRecordIndex, BusOrders)
{
    using B = ScriptedBox;
    struct Case
    {
        const char* name;
        VandrelRecordIndex::Count start; // the box's first index
        std::vector<B::Step> steps;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"127 records lost", 0, {{B::Await}, {B::Lose, 127}, {B::Dali, 127}, {B::Await}, {B::Await}}, "RRR"},
        {"200 records lost, only DMX traffic after, then answers 400 and more frames later", 0,
            {{B::Await}, {B::Lose, 200}, {B::Dali, 200}, {B::Unawaited, 417}, {B::Report}, {B::Await},
                {B::Unawaited, 3}, {B::Await}},
            "RRR"},
        {"200 frames lost (400 indices), reported before the next exchange", 40,
            {{B::Await}, {B::Lose, 200}, {B::Unawaited, 230}, {B::Pass}, {B::Await}, {B::Await}}, "RRR"},
        {"200 frames lost (400 indices), no drained pass before the next exchange", 40,
            {{B::Await}, {B::Lose, 200}, {B::Unawaited, 230}, {B::Report}, {B::Await}, {B::Await},
                {B::Await}},
            "RERR"},
        {"a lost run of 1000 DALI records", 7,
            {{B::Await}, {B::Lose, 1000}, {B::Dali, 1010}, {B::Await}, {B::Await}}, "RER"},
        {"first frame at 256 (byte 0), older records reported while it goes out", 252,
            {{B::Dali, 4}, {B::AwaitInTransfer}, {B::Await}}, "RR"},
        {"first frame at 255, an older record reported while it goes out", 254,
            {{B::Dali, 1}, {B::AwaitInTransfer}, {B::Await}}, "RR"},
        {"first frame after 200 older records still unreported", 0, {{B::Dali, 200}, {B::Await}, {B::Await}},
            "RR"},
        {"first frame after 223 older records still unreported", 3, {{B::Dali, 223}, {B::Await}, {B::Await}},
            "RR"},
        {"first frame after 300 older records still unreported: fails, then right", 0,
            {{B::Dali, 300}, {B::Await}, {B::Await}}, "ER"},
        {"another master's records numbered after the frame but reported before it", 100,
            {{B::Await, 5}, {B::Await, 30}, {B::Await}}, "RRR"},
        {"a run of 100 lost right after the first frame (its own record among them)", 0,
            {{B::Unawaited, 1}, {B::Lose, 100}, {B::Dali, 150}, {B::Report}, {B::Await}, {B::Await}}, "RR"},
        {"a run of 200 lost from the first (awaited) frame on", 60,
            {{B::Lose, 2}, {B::Await}, {B::Lose, 198}, {B::Dali, 230}, {B::Await}, {B::Await}}, "MRR"},
        {"the first frame at 250, a later DALI record reported before its count is given", 250,
            {{B::AwaitLaterFirst, 1}, {B::Await}}, "RR"},
        {"the first frame at 255, two later DALI records (bytes 1, 2) reported first", 255,
            {{B::AwaitLaterFirst, 2}, {B::Await}}, "RR"},
        {"256 and more DALI records unreported when frames go out: an older frame's answer has the byte", 0,
            {{B::Dali, 300}, {B::Answered, 129}, {B::Await}, {B::Await}}, "ER"},
        {"a run of 201 lost, then a frame still on the line at the first pass after it went out", 0,
            {{B::Await}, {B::Lose, 201}, {B::Dali, 201}, {B::AwaitOnTheLine}, {B::Await}}, "RRR"},
        // The answer is read short, as an older frame's answer: the drained
        // pass that re-reads the count shows it may be the awaited one, or an
        // older frame's after all, and the wait fails rather than miss it.
        {"150 frames' records lost, then a frame whose own record is lost", 0,
            {{B::Await}, {B::Lose, 150}, {B::Unawaited, 150}, {B::Lose, 1}, {B::Await}, {B::Await}}, "RER"},
        // An older frame's answer reported after the awaited frame went out
        // (the monitor ran far behind), then a long run lost up to the awaited
        // answer: the same reading, and never that older answer.
        {"an older frame's answer a wrap back reported last, everything after it lost", 0,
            {{B::Await}, {B::Answered, 1}, {B::Lose, 254}, {B::Dali, 254}, {B::Lose, 2}, {B::Await}, {B::Await}},
            "RER"},
        {"the same, that older answer reported while the awaited frame's report goes out", 0,
            {{B::Await}, {B::Answered, 1}, {B::Lose, 254}, {B::Dali, 254}, {B::Lose, 2}, {B::AwaitInTransfer},
                {B::Await}},
            "RER"},
        {"the same with the older frames' records reported before the awaited one goes out", 0,
            {{B::Dali, 300}, {B::Answered, 129}, {B::AwaitInTransfer}, {B::Await}}, "ER"},
        // The first frame's window reads the older records right; a drained
        // pass before the frame's own record must not take them for ones
        // numbered after it.
        {"a run of 180 lost up to the first frame, older records reported while it is on the line", 9,
            {{B::Dali, 30}, {B::Lose, 180}, {B::Dali, 180}, {B::AwaitOnTheLine}, {B::Await}}, "RR"},
        // Every record lost from the first frame on, past a drained pass: the
        // first record reported after it is newer than the frames given
        // before that pass, however far the first frame lies behind.
        {"150 frames lost from the first on, a drained pass, then a DALI record", 0,
            {{B::Lose, 150}, {B::Unawaited, 150}, {B::Pass}, {B::Dali, 1}, {B::Await}, {B::Await}}, "RR"},
        // Records 225 older than the first frame read as numbered after it;
        // the second frame, given right after the first one's answer, shows
        // that they were older.
        {"a run of 224 lost up to the first frame, two older records reported before it", 60,
            {{B::Dali, 2}, {B::Lose, 224}, {B::Dali, 224}, {B::Await}, {B::Await}, {B::Await}}, "RRR"},
        // The first record reported right after the first frame, in a pass
        // after a later frame went out: older than that frame, not a wrap on.
        {"first frame, a record after it, 210 lost, a frame given after, then the pass", 0,
            {{B::Unawaited, 1}, {B::Dali, 1}, {B::Lose, 210}, {B::Dali, 210}, {B::AwaitOnTheLine}, {B::Await}},
            "RR"},
        // Records read older than the first frame, every frame's records
        // lost for a while: later frames still get their answers.
        {"older records at the first frame, then frames whose records are lost", 0,
            {{B::Dali, 30}, {B::Lose, 2}, {B::AwaitOnTheLine}, {B::Lose, 150}, {B::Unawaited, 150}, {B::Pass},
                {B::Await}, {B::Await}},
            "MRR"},
        // Not when the first frame's own record came elsewhere (more than a
        // wrap of records was unreported when it went out).
        {"a thousand older records unreported at the first frame, a thousand after it", 1,
            {{B::Dali, 1020}, {B::Unawaited, 1}, {B::Dali, 1020}, {B::Pass}, {B::Await}, {B::Await}}, "RR"},
        // Older records reported only once the frame was given, the run
        // after them lost up to it (longer than Settled), the frame's own
        // record lost: its answer is not read a wrap ahead of it.
        {"older records reported after the frame, a run of 138 lost up to it, its own record lost", 0,
            {{B::Dali, 1}, {B::Report}, {B::Dali, 2}, {B::Lose, 138}, {B::Dali, 138}, {B::Lose, 1},
                {B::AwaitOnTheLine}, {B::Await}},
            "RR"},
        // Nothing reported since the first frame, all its records lost and a
        // wrap of indices made since: once a drained pass began after the
        // frames given so far were off the line, a DMX record is a later
        // frame's, not the first one's (whose byte the awaited answer has).
        {"every record lost from the first frame on, a late pass, then an answer with its byte", 0,
            {{B::Lose, 1}, {B::Unawaited, 1}, {B::Lose, 253}, {B::Dali, 253}, {B::LatePass}, {B::Lose, 1},
                {B::AwaitOnTheLine}, {B::Await}},
            "RR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VandrelRecordIndex index;
        ScriptedBox box(c.start);
        EXPECT_EQ(box.run(index, c.steps), c.expected);
    }
}

} // namespace
