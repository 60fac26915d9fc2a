#include "interfaces/vandrel_record_gaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using tarvesk::itf::VandrelRecordGaps;

namespace {

struct Seen
{
    int index; // the byte the box numbered the record with
    bool dmx = false;
};

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

// What the record indices show, read in the order the box reported them.
TEST_P(RecordGaps, SkippedIndicesAreLostOnlyWhenNoDmxRecordCanFillThem)
{
    const GapsCase& c = GetParam();
    VandrelRecordGaps gaps;
    VandrelRecordGaps::Count last = 0; // the highest count seen
    for (const Seen& seen : c.seen) {
        last = std::max(last,
            gaps.see(quint8(seen.index), seen.dmx ? VandrelRecordGaps::Kind::Dmx : VandrelRecordGaps::Kind::Other));
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
        GapsCase {"one_skipped_may_yet_come", {{10}, {12}}, true, false},
        // More than 32 records numbered later came: it will not come any more.
        GapsCase {"one_skipped_then_many", std::vector<Seen> {{10}} + run(12, 34), false, true},
        // A DMX frame takes two indices; the records made while the line
        // carried it come first, then its own, then maybe its answer.
        GapsCase {"dmx_frame_recorded_late", {{10}, {13}, {14}, {11, true}}, false, false},
        GapsCase {"dmx_frame_and_answer_recorded_late", {{10}, {13}, {11, true}, {14}, {12, true}}, false,
            false},
        GapsCase {"dmx_frame_lost", std::vector<Seen> {{10}, {13}, {14}} + run(15, 33), false, true},
        GapsCase {"dmx_answer_lost_is_no_loss", std::vector<Seen> {{10}, {11, true}} + run(13, 40), false,
            false},
        // A run of lost records one wrap short reads as an index seen again.
        GapsCase {"run_of_250_lost", {{100}, {101}, {102}, {97}}, false, true},
        GapsCase {"long_run_lost", {{100}, {200}}, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A skipped index settles as lost once a pass that drained the box began
// long enough after the skip showed for a DMX frame to have been recorded.
TEST(RecordGapsSettle, ADrainedPassBegunLaterSettlesWhatDidNotCome)
{
    VandrelRecordGaps gaps;
    const auto now = VandrelRecordGaps::Clock::now();
    gaps.see(10, VandrelRecordGaps::Kind::Other, now);
    gaps.see(12, VandrelRecordGaps::Kind::Other, now);
    gaps.passCompleted(now + VandrelRecordGaps::LineTime / 2);
    EXPECT_TRUE(gaps.openBelow(13));
    gaps.passCompleted(now + VandrelRecordGaps::LineTime);
    EXPECT_FALSE(gaps.openBelow(13));
    EXPECT_FALSE(gaps.takeLostBelow(11)); // nothing lost before 11
    EXPECT_TRUE(gaps.takeLostBelow(13));
}

// Before the first record since the box was opened nothing shows a loss,
// bar a poll that failed; a restart forgets what was open.
TEST(RecordGapsSettle, TheFirstRecordAnchorsTheCount)
{
    VandrelRecordGaps gaps;
    gaps.see(200, VandrelRecordGaps::Kind::Other);
    EXPECT_FALSE(gaps.takeLostBelow(1000));
    gaps.see(205, VandrelRecordGaps::Kind::Other);
    EXPECT_TRUE(gaps.openBelow(206));
    gaps.restart();
    EXPECT_FALSE(gaps.openBelow(1000));
    gaps.pollFailed();
    const auto first = gaps.see(7, VandrelRecordGaps::Kind::Other);
    EXPECT_FALSE(gaps.openBelow(first + 1));
    EXPECT_TRUE(gaps.takeLostBelow(first + 1));
    gaps.pollFailed(); // once anchored, the indices will show it
    gaps.see(8, VandrelRecordGaps::Kind::Other);
    EXPECT_FALSE(gaps.takeLostBelow(1000));
}

} // namespace
