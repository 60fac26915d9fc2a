#include "interfaces/vandrel_record_gaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>
#include <vector>

using tarvesk::itf::VandrelRecordGaps;

namespace {

// What the gaps learn, in order: a record the box reported, or what the DMX
// sender tells of its frame.
enum class What {
    Record,    // a DALI (or any other) record with this index byte
    DmxRecord, // a DMX record with this index byte
    GoesOut,   // the DMX sender's frame goes out, its index not told yet
    Given,     // it was given this index byte (goes out first, if not told so)
    Untold,    // its first report failed: its index stays unknown
};

struct Seen
{
    int index; // the byte the box numbered the record with, or gave the frame
    What what = What::Record;
};

constexpr What Dmx = What::DmxRecord;
constexpr What Given = What::Given;
const Seen GoesOut {0, What::GoesOut};
const Seen Untold {0, What::Untold};

struct GapsCase
{
    const char* name;
    std::vector<Seen> seen;
    bool open; // an index below the next record may yet come
    bool lost; // records were lost below the next record
};

void PrintTo(const GapsCase& c, std::ostream* os)
{
    *os << c.name;
}

class RecordGaps : public ::testing::TestWithParam<GapsCase>
{
};

// A DMX frame keeps the line this long in the table (its records all come
// before the passes that would settle them).
constexpr std::chrono::milliseconds Busy {1};

// What the record indices show, read in the order the box reported them.
TEST_P(RecordGaps, SkippedIndicesAreLostOnlyWhenNoDmxRecordCanFillThem)
{
    const GapsCase& c = GetParam();
    VandrelRecordGaps gaps;
    VandrelRecordGaps::Count last = 0; // the highest count seen
    bool goingOut = false;
    for (const Seen& seen : c.seen) {
        switch (seen.what) {
        case What::Record:
        case What::DmxRecord:
            last = std::max(last,
                gaps.see(quint8(seen.index),
                    seen.what == Dmx ? VandrelRecordGaps::Kind::Dmx : VandrelRecordGaps::Kind::Other));
            break;
        case What::GoesOut:
            gaps.dmxFrameGoesOut(Busy);
            goingOut = true;
            break;
        case What::Given:
            if (!goingOut)
                gaps.dmxFrameGoesOut(Busy);
            gaps.dmxFrameGiven(quint8(seen.index), true);
            goingOut = false;
            break;
        case What::Untold:
            gaps.dmxFrameUntold();
            goingOut = false;
            break;
        }
    }
    EXPECT_EQ(gaps.openBelow(last + 1), c.open);
    EXPECT_EQ(gaps.takeLostBelow(last + 1), c.lost);
    EXPECT_FALSE(gaps.takeLostBelow(last + 1)); // said once
}

std::vector<Seen> run(int from, int count)
{
    std::vector<Seen> seen;
    for (int i = 0; i < count; ++i)
        seen.push_back({(from + i) % 256});
    return seen;
}

std::vector<Seen> operator+(std::vector<Seen> a, const std::vector<Seen>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(Indices, RecordGaps,
    ::testing::Values(GapsCase {"in_order_across_the_wrap", run(250, 12), false, false},
        // Only a DMX frame's records come after those numbered later: with
        // none given that index, it is lost at once.
        GapsCase {"one_skipped_is_lost", {{10}, {12}}, false, true},
        GapsCase {"one_skipped_while_a_frame_goes_out_may_yet_come", {{10}, GoesOut, {12}}, true, false},
        // More than 32 records numbered later came: it will not come any more.
        GapsCase {"one_skipped_then_many", std::vector<Seen> {{10}} + run(12, 34), false, true},
        // A DMX frame takes two indices; the records made while the line
        // carried it come first, then its own, then maybe its answer.
        GapsCase {"dmx_frame_recorded_late", {{10}, {11, Given}, {13}, {14}, {11, Dmx}}, false, false},
        GapsCase {"dmx_frame_and_answer_recorded_late", {{10}, {11, Given}, {13}, {11, Dmx}, {14}, {12, Dmx}},
            false, false},
        GapsCase {"dmx_frame_still_on_the_line", {{10}, {11, Given}, {13}, {14}}, true, false},
        // A long break beside busy DALI traffic: more than 32 records numbered
        // later, and still its own (read at its count, not a wrap ahead).
        GapsCase {"dmx_frame_recorded_after_many_later_ones",
            std::vector<Seen> {{10}, {11, Given}} + run(13, 40) + std::vector<Seen> {{11, Dmx}, {53}}, false,
            false},
        // The box records its frames in the order it put them on the line.
        GapsCase {"dmx_frame_lost_shown_by_a_later_frame", {{10}, {11, Given}, {13, Given}, {15}, {13, Dmx}},
            false, true},
        GapsCase {"dmx_answer_lost_is_no_loss", std::vector<Seen> {{10}, {11, Given}, {11, Dmx}} + run(13, 40),
            false, false},
        // Its own record lost, its answer the first record reported: the
        // index after the answer is no answer slot, and lost.
        GapsCase {"dmx_frame_lost_before_its_answer", {{0, Given}, {1, Dmx}, {3}}, false, true},
        GapsCase {"dmx_frame_lost_then_a_dali_record", {{10}, {11, Given}, {12, Dmx}, {14}}, false, true},
        // The monitor reported records of the frame before the sender knew its index.
        GapsCase {"dmx_frame_reported_before_it_was_told", {{10}, GoesOut, {13}, {11, Dmx}, {11, Given}, {14}},
            false, false},
        GapsCase {"dmx_answer_reported_before_it_was_told", {{10}, GoesOut, {12, Dmx}, {14}, {11, Given}},
            false, true},
        // Given before any record, with a wrap of older records unreported:
        // the first record at its index is older, the next one skipped no
        // answer slot.
        GapsCase {"first_record_at_the_index_of_a_frame_told_before_it", {{57, Given}, {57}, {59}}, false, true},
        // Given the byte of a record that came while it went out (the first
        // since the start): a wrap later, and the index skipped is no answer slot.
        GapsCase {"dmx_frame_given_the_index_of_a_record_come_meanwhile", {GoesOut, {57}, {59}, {57, Given}}, false,
            true},
        // Its first report failed: its indices are unknown, and may yet come.
        GapsCase {"untold_frame", {{10}, GoesOut, Untold, {13}}, true, false},
        // A DMX record nobody told of: a frame's own, the index after it its answer slot.
        GapsCase {"untold_dmx_record_and_its_empty_answer_slot", {{10}, {11, Dmx}, {13}}, false, false},
        // A run of lost records one wrap short reads as an index seen again.
        GapsCase {"run_of_250_lost", {{100}, {101}, {102}, {97}}, false, true},
        // A run a whole wrap long reads as the next index, unless a frame was
        // given it: no other record has a told frame's index.
        GapsCase {"run_of_a_wrap_lost_across_a_told_frame", {{10}, {11, Given}, {11}}, false, true},
        GapsCase {"run_of_a_wrap_lost_across_a_told_answer_slot", {{10}, {11, Given}, {11, Dmx}, {12}}, false,
            true},
        GapsCase {"long_run_lost", {{100}, {200}}, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The DMX sender's frame, given the index byte `index` at `at`, keeping the
// line up to `line`.
void tell(VandrelRecordGaps& gaps, quint8 index, std::chrono::milliseconds line,
    VandrelRecordGaps::Clock::time_point at)
{
    gaps.dmxFrameGoesOut(line, at);
    gaps.dmxFrameGiven(index, true, at);
}

// Records of another kind with the index bytes from..to-1, seen at `at`.
void seeOthers(VandrelRecordGaps& gaps, int from, int to, VandrelRecordGaps::Clock::time_point at)
{
    for (int record = from; record < to; ++record)
        gaps.see(quint8(record), VandrelRecordGaps::Kind::Other, at);
}

// A told frame's own record is lost once a drained pass began after its
// time on the line, which counts after the frames given before it.
TEST(RecordGapsSettle, AToldFramesTimeOnTheLineSettlesItsRecord)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const std::chrono::milliseconds line(180);
    const auto first = gaps.see(10, VandrelRecordGaps::Kind::Other, now);
    for (const quint8 index : {11, 13}) {
        tell(gaps, index, line, now);
    }
    gaps.see(15, VandrelRecordGaps::Kind::Other, now); // made while the frames kept the line
    gaps.see(11, VandrelRecordGaps::Kind::Dmx, now + line);
    const auto due = now + 2 * line + VandrelRecordGaps::RecordMargin;
    gaps.passCompleted(due - std::chrono::milliseconds(1));
    EXPECT_TRUE(gaps.openBelow(first + 6));
    gaps.passCompleted(due);
    EXPECT_FALSE(gaps.openBelow(first + 6));
    EXPECT_FALSE(gaps.takeLostBelow(first + 3)); // the first frame came
    EXPECT_TRUE(gaps.takeLostBelow(first + 6));  // the second did not
    // When it comes after all, it is late, not a wrap's worth of records ahead.
    EXPECT_EQ(gaps.see(13, VandrelRecordGaps::Kind::Dmx, due), first + 3);
    EXPECT_EQ(gaps.see(16, VandrelRecordGaps::Kind::Other, due), first + 6);
    EXPECT_FALSE(gaps.takeLostBelow(first + 1000));
}

// A told frame's own record settled lost by a drained pass is one loss: a
// later told frame's record does not show it lost again (which would put the
// frames of ours then owed in doubt for nothing).
TEST(RecordGapsSettle, AToldFrameSettledLostIsCountedOnce)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const std::chrono::milliseconds line(180);
    const auto first = gaps.see(10, VandrelRecordGaps::Kind::Other, now);
    tell(gaps, 11, line, now);
    gaps.see(13, VandrelRecordGaps::Kind::Other, now); // made while the frame kept the line
    const auto due = now + line + VandrelRecordGaps::RecordMargin;
    gaps.passCompleted(due);
    EXPECT_TRUE(gaps.takeLostBelow(first + 3));
    tell(gaps, 14, line, due);
    EXPECT_EQ(gaps.see(14, VandrelRecordGaps::Kind::Dmx, due + line), first + 4);
    EXPECT_FALSE(gaps.takeLostBelow(first + 1000));
}

// A told frame's own record lost within a run longer than the late reach is
// counted with that run: a frame recorded long after does not show it lost
// again (every frame of ours then owed would be in doubt for nothing).
TEST(RecordGapsSettle, AToldFrameLostInALongRunIsCountedWithTheRun)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const std::chrono::milliseconds line(30);
    const auto first = gaps.see(10, VandrelRecordGaps::Kind::Other, now);
    tell(gaps, 11, line, now);
    gaps.see(110, VandrelRecordGaps::Kind::Other, now);
    EXPECT_TRUE(gaps.takeLostBelow(first + 101));
    const auto later = now + std::chrono::seconds(1);
    gaps.passCompleted(later);
    tell(gaps, 111, line, later);
    EXPECT_EQ(gaps.see(111, VandrelRecordGaps::Kind::Dmx, later + line), first + 101);
    EXPECT_FALSE(gaps.takeLostBelow(first + 1000));
}

// A frame told before the first record, with more than a wrap of records
// ahead of it in the box: its index byte places it a wrap off. Once a wrap
// has passed it, its index counts as lost then (it may be another record's),
// neither waited for nor counted lost again later.
TEST(RecordGapsSettle, AToldFrameAWrapBehindIsSettledThen)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const auto all = std::numeric_limits<VandrelRecordGaps::Count>::max();
    tell(gaps, 16, std::chrono::milliseconds(50), now);
    for (int record = 0; record < 300; ++record)
        gaps.see(quint8(19 + record), VandrelRecordGaps::Kind::Other, now);
    EXPECT_TRUE(gaps.takeLostBelow(all));
    gaps.passCompleted(now + std::chrono::seconds(1));
    EXPECT_FALSE(gaps.openBelow(all));
    EXPECT_FALSE(gaps.takeLostBelow(all));
}

// The next frame, given byte 200 after records up to 199: its own record,
// its answer and a DALI record after them leave nothing open nor lost.
void expectTheNextFrameFollows(VandrelRecordGaps& gaps, VandrelRecordGaps::Clock::time_point at)
{
    const auto all = std::numeric_limits<VandrelRecordGaps::Count>::max();
    tell(gaps, 200, std::chrono::milliseconds(30), at);
    gaps.see(200, VandrelRecordGaps::Kind::Dmx, at);
    gaps.see(201, VandrelRecordGaps::Kind::Dmx, at);
    gaps.see(202, VandrelRecordGaps::Kind::Other, at);
    EXPECT_FALSE(gaps.openBelow(all));
    EXPECT_FALSE(gaps.takeLostBelow(all));
}

// A frame told before the first record since the box was opened, its time
// on the line over at a drained pass with nothing reported: its record was
// lost, and what comes next was numbered after it. The first record, after a
// long lost run, is not read a wrap short (below the frame), which would
// place the next frame a wrap ahead of every record to come.
TEST(RecordGapsSettle, AFrameToldBeforeAnyRecordAndLostAnchorsTheCount)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const auto all = std::numeric_limits<VandrelRecordGaps::Count>::max();
    const std::chrono::milliseconds line(30);
    tell(gaps, 100, line, now);
    const auto later = now + std::chrono::seconds(1);
    gaps.passCompleted(later);
    seeOthers(gaps, 146, 200, later);
    EXPECT_TRUE(gaps.takeLostBelow(all));
    expectTheNextFrameFollows(gaps, later);
}

// The same when the first record comes in that pass after a run lost up to
// it: read as older than the frames, it would leave the count a wrap short
// of every frame given later.
TEST(RecordGapsSettle, AFirstRecordReadAsOlderThanFramesDueIsCountedAfterThem)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const auto all = std::numeric_limits<VandrelRecordGaps::Count>::max();
    const std::chrono::milliseconds line(30);
    for (const int given : {100, 157}) {
        tell(gaps, quint8(given), line, now);
    }
    const auto later = now + std::chrono::seconds(1);
    seeOthers(gaps, 160, 200, later);
    gaps.passCompleted(later);
    EXPECT_TRUE(gaps.takeLostBelow(all));
    expectTheNextFrameFollows(gaps, later);
}

// The same with a second frame still on the line at that pass: the records
// counted after the first frame now follow it too. Its record may yet come
// late, and once its time on the line is over it is lost, once: a later
// frame's record does not show it lost again (our frame on the bus then
// would be put in doubt for nothing).
TEST(RecordGapsSettle, AFrameStillOnTheLineWhenTheCountMovesPastItIsWaitedForThenLostOnce)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const auto all = std::numeric_limits<VandrelRecordGaps::Count>::max();
    const std::chrono::milliseconds quick(30);
    const std::chrono::milliseconds slow(200);
    tell(gaps, 100, quick, now);
    const auto second = now + std::chrono::milliseconds(900);
    tell(gaps, 157, slow, second);
    const auto later = now + std::chrono::seconds(1);
    seeOthers(gaps, 160, 200, later);
    gaps.passCompleted(later);
    EXPECT_TRUE(gaps.takeLostBelow(all)); // the first frame's record
    EXPECT_TRUE(gaps.openBelow(all));     // the second one's may yet come
    const auto due = second + slow + VandrelRecordGaps::RecordMargin;
    gaps.passCompleted(due);
    EXPECT_FALSE(gaps.openBelow(all));
    EXPECT_TRUE(gaps.takeLostBelow(all));
    tell(gaps, 200, quick, due);
    gaps.see(200, VandrelRecordGaps::Kind::Dmx, due);
    EXPECT_FALSE(gaps.takeLostBelow(all));
}

// A stream of frames sent faster than their longest time on the line: the
// wait for one that did not come counts from the last one recorded, not from
// the sum of all their times.
TEST(RecordGapsSettle, AStreamOfFramesWaitsFromTheLastOneRecorded)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    const std::chrono::milliseconds line(200);
    const auto first = gaps.see(10, VandrelRecordGaps::Kind::Other, now);
    for (int frame = 0; frame < 20; ++frame) {
        tell(gaps, quint8(11 + 2 * frame), line, now);
    }
    gaps.see(51, VandrelRecordGaps::Kind::Other, now); // numbered after them all
    const auto recorded = now + std::chrono::milliseconds(50);
    for (int frame = 0; frame < 19; ++frame) // the last one's record is lost
        gaps.see(quint8(11 + 2 * frame), VandrelRecordGaps::Kind::Dmx, recorded);
    const auto due = recorded + line + VandrelRecordGaps::RecordMargin;
    gaps.passCompleted(due - std::chrono::milliseconds(1));
    EXPECT_TRUE(gaps.openBelow(first + 41));
    gaps.passCompleted(due);
    EXPECT_FALSE(gaps.openBelow(first + 41));
    EXPECT_TRUE(gaps.takeLostBelow(first + 41));
}

// Before the first record since the box was opened nothing shows a loss,
// bar a poll that failed; a restart forgets what was open.
TEST(RecordGapsSettle, TheFirstRecordAnchorsTheCount)
{
    VandrelRecordGaps gaps;
    const auto first = gaps.see(200, VandrelRecordGaps::Kind::Other);
    EXPECT_FALSE(gaps.takeLostBelow(first + 1000));
    gaps.dmxFrameGoesOut(std::chrono::milliseconds(1));
    gaps.see(205, VandrelRecordGaps::Kind::Other); // the frame may be given 201
    EXPECT_TRUE(gaps.openBelow(first + 6));
    gaps.restart();
    EXPECT_FALSE(gaps.openBelow(first + 1000));
    gaps.pollFailed();
    const auto anchor = gaps.see(7, VandrelRecordGaps::Kind::Other);
    EXPECT_FALSE(gaps.openBelow(anchor + 1));
    EXPECT_TRUE(gaps.takeLostBelow(anchor + 1));
    gaps.pollFailed(); // once anchored, the indices will show it
    gaps.see(8, VandrelRecordGaps::Kind::Other);
    EXPECT_FALSE(gaps.takeLostBelow(anchor + 1000));
}

} // namespace
