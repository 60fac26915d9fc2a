#include "interfaces/vandrel_record_index.h"

#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/packet_mutex.h"

#include <gtest/gtest.h>

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

} // namespace
