#include "interfaces/vandrel_dali_ledger.h"

#include "protocol/dali/dali_packet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace tarvesk;
using itf::VandrelDaliLedger;

namespace {

// Frames as the box puts them on the bus; backward frames are one byte.
const QByteArray kRead("\x01\xC5", 2);       // READ MEMORY LOCATION (short address 0)
const QByteArray kActual("\x01\xA0", 2);     // QUERY ACTUAL LEVEL
const QByteArray kPresent("\x01\x91", 2);    // QUERY CONTROL GEAR PRESENT
const QByteArray kDapc("\x00\x80", 2);       // DAPC 128
const QByteArray kInitialise("\xA5\x00", 2); // INITIALISE, sent twice
const QByteArray kOther("\x9F\x05", 2);      // another master's frame
const QByteArray kTimeout("?");              // the box's time-out event
const QByteArray kOneByte("\x5A");           // a one-byte frame: its echo looks like an answer
const QByteArray kDtr1Zero("\xC3\x00", 2);  // DTR1 0
const QByteArray kDtr0Zero("\xA3\x00", 2);  // DTR0 0

struct Sent
{
    QByteArray frame;
    bool awaited;
    int copies = 1;
    bool closes = false; // the box records an answer or time-out event after each echo
    // Sent once that many of the row's records were fed (in send order).
    size_t after = 0;
    // The transfer's write never reached the box: the transport tells of no
    // going out, and the sender says the box did not take it.
    bool writeFailed = false;
};

// What the sender of an awaited frame that the ledger did not let go out receives.
const QByteArray kNotSent("not sent");

struct LedgerCase
{
    const char* name;
    std::vector<Sent> sent;
    std::vector<QByteArray> records; // in bus order
    // What each awaited frame's sender receives, in the order they were sent.
    std::vector<std::vector<QByteArray>> received;
    int owedAfter;
    // After the records, a monitor pass drains the box well after every
    // frame's time on the bus: frames still unreported were lost.
    bool thenLatePass = false;
    // Whether each awaited frame ends in doubt (not checked when empty).
    std::vector<bool> doubted = {};
};

void PrintTo(const LedgerCase& c, std::ostream* os)
{
    *os << c.name;
}

// Records in bus order, runs of them joined.
std::vector<QByteArray> busOrder(std::initializer_list<std::vector<QByteArray>> runs)
{
    std::vector<QByteArray> joined;
    for (const auto& run : runs)
        joined.insert(joined.end(), run.begin(), run.end());
    return joined;
}

// The box's next record index: it numbers its records one after the other
// (a ledger reads a skipped index as records the box lost).
quint8 nextIndex = 0;

proto::DaliPacket record(const QByteArray& bytes)
{
    proto::DaliPacket packet;
    packet.setIndex(nextIndex++);
    if (bytes == kTimeout)
        packet.setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
    else
        packet.append(bytes);
    return packet;
}

// A monitor pass that drained the box well after every frame's time on the
// bus (and after any skipped index's): frames still unreported were lost.
void latePass(VandrelDaliLedger& ledger)
{
    using Ledger = VandrelDaliLedger;
    ledger.passCompleted(Ledger::Clock::now() + Ledger::LostAfter + std::chrono::seconds(1));
}

// Records in bus order, as the box reports them. Besides DALI frames: "-" the
// box lost a record; "dmx" our DMX sender's frame takes two indices (its own
// record's and its answer's) while the line carries it, and the sender tells
// the ledger so; "dmx?" the same, told only at "dmx!" (its chain still goes
// out); "DMX" the own record of the next such frame comes, after those
// numbered later; "DMX+" the next one's answer; "late" a late pass (latePass);
// "fail" a poll fails.
struct Feeder
{
    void operator()(VandrelDaliLedger& ledger, const QByteArray& bytes)
    {
        const auto dmxRecord = [&ledger](quint8 index) {
            proto::RawPacket dmx;
            dmx.setPacketType(proto::PACKET_TYPE_DMX);
            dmx.setIndex(index);
            EXPECT_FALSE(ledger.takeRecord(dmx));
        };
        if (bytes == "-") {
            ++nextIndex;
        } else if (bytes == "dmx" || bytes == "dmx?") {
            ledger.dmxFrameGoesOut(std::chrono::milliseconds(1));
            dmxFrames.push_back(nextIndex);
            nextIndex += 2;
            if (bytes == "dmx")
                ledger.dmxFrameGiven(dmxFrames.back(), true);
        } else if (bytes == "dmx!") {
            ledger.dmxFrameGiven(dmxFrames.back(), true);
        } else if (bytes == "DMX") {
            dmxRecord(dmxFrames.at(ownNext++));
        } else if (bytes == "DMX+") {
            dmxRecord(quint8(dmxFrames.at(answerNext++) + 1));
        } else if (bytes == "late") {
            latePass(ledger);
        } else if (bytes == "fail") {
            ledger.pollFailed(-7);
        } else {
            EXPECT_TRUE(ledger.takeRecord(record(bytes)));
        }
    }
    std::vector<quint8> dmxFrames;
    size_t ownNext = 0;
    size_t answerNext = 0;
};

void feed(VandrelDaliLedger& ledger, const std::vector<QByteArray>& records)
{
    Feeder feeder;
    for (const QByteArray& bytes : records)
        feeder(ledger, bytes);
}

std::vector<QByteArray> drain(proto::PacketMutex& mutex)
{
    std::vector<QByteArray> taken;
    while (!mutex.waitForReplyIndex(0)) {
        const proto::RawPacket* p = mutex.getPacket();
        taken.push_back(p->isTimeoutEvent()
                ? kTimeout
                : QByteArray(reinterpret_cast<const char*>(p->getData()), p->getDataSize()));
    }
    return taken;
}

class DaliLedger : public ::testing::TestWithParam<LedgerCase>
{
};

TEST_P(DaliLedger, EveryRecordReachesTheExchangeOfItsOwnFrame)
{
    const LedgerCase& c = GetParam();
    VandrelDaliLedger ledger;
    quint64 transfer = 0;
    std::vector<std::unique_ptr<proto::PacketMutex>> waiters;
    std::vector<VandrelDaliLedger::Ticket> tickets; // of the awaited frames
    size_t nextSent = 0;
    // The frames due once `fed` records were fed go out, then a poll reports on.
    const auto sendDue = [&](size_t fed) {
        for (; nextSent < c.sent.size() && c.sent[nextSent].after <= fed; ++nextSent) {
            const Sent& sent = c.sent[nextSent];
            proto::PacketMutex* waiter = nullptr;
            if (sent.awaited) {
                waiters.push_back(std::make_unique<proto::PacketMutex>(0, false));
                waiter = waiters.back().get();
            }
            const auto ticket
                = ledger.sending(sent.frame, sent.copies, waiter, VandrelDaliLedger::RoomWait(), sent.closes);
            if (sent.awaited)
                tickets.push_back(ticket);
            if (sent.writeFailed)
                ledger.refused(ticket);
            else if (ticket != 0)
                ledger.goesOut(ticket, ++transfer);
        }
        ledger.recordsFrom(++transfer);
    };
    Feeder feeder;
    for (size_t fed = 0; fed < c.records.size(); ++fed) {
        sendDue(fed);
        feeder(ledger, c.records[fed]);
    }
    sendDue(c.records.size());
    if (c.thenLatePass)
        latePass(ledger);
    ASSERT_EQ(waiters.size(), c.received.size());
    for (size_t i = 0; i < waiters.size(); ++i) {
        const auto received = tickets[i] == 0 ? std::vector<QByteArray> {kNotSent} : drain(*waiters[i]);
        EXPECT_EQ(received, c.received[i]) << "awaited frame " << i;
    }
    EXPECT_EQ(ledger.owedCount(), c.owedAfter);
    if (!c.doubted.empty()) {
        ASSERT_EQ(c.doubted.size(), tickets.size());
        for (size_t i = 0; i < tickets.size(); ++i)
            EXPECT_EQ(ledger.inDoubt(tickets[i]), c.doubted[i]) << "awaited frame " << i;
    }
}

// Our DAPC's echo lost, our query's records held behind it, another master's
// `burst` frames, its copy of our query answered 0x4D; then the query asked
// again before and after a late pass.
LedgerCase heldCapBurst(const char* name, size_t burst)
{
    return LedgerCase {name,
        {{kDapc, false}, {kActual, true}, {kActual, true, 1, false, burst + 4},
            {kActual, true, 1, false, burst + 5}},
        busOrder({{kActual, "\x21"}, std::vector<QByteArray>(burst, kOther),
            {kActual, "\x4D", "late", kActual, "\x21"}}),
        {{}, {kNotSent}, {kActual, "\x21"}}, 0, false, {true, false, false}};
}

INSTANTIATE_TEST_SUITE_P(BusOrder, DaliLedger,
    ::testing::Values(
        // READ MEMORY LOCATION moves DTR0 on: the same frame twice, the first not awaited.
        // An awaited frame goes out only once no identical frame is owed (here
        // the unawaited one's echo came first).
        LedgerCase {"unawaited_then_awaited_same_frame", {{kRead, false}, {kRead, true, 1, false, 1}},
            {kRead, "\x03", kRead, "\x04"}, {{kRead, "\x04"}}, 0},
        LedgerCase {"unawaited_query_dapc_then_query",
            {{kActual, false}, {kDapc, false}, {kActual, true, 1, false, 1}},
            {kActual, "\x10", kDapc, kActual, "\x80"}, {{kActual, "\x80"}}, 0},
        LedgerCase {"awaited_frame_waits_for_an_identical_owed_one", {{kRead, false}, {kRead, true}},
            {kRead, "\x03"}, {{kNotSent}}, 0},
        // The records of the awaited frame have not come yet: nothing is taken for them.
        LedgerCase {"answer_of_the_unawaited_frame_only", {{kRead, false}, {kRead, true, 1, false, 1}},
            {kRead, "\x03"}, {{}}, 1},
        LedgerCase {"another_master_before_the_echo", {{kActual, true}}, {kOther, "\x11", kActual, "\x42"},
            {{kActual, "\x42"}}, 0},
        LedgerCase {
            "another_master_after_the_echo", {{kActual, true}}, {kActual, kOther, "\x42"}, {{kActual}}, 0},
        LedgerCase {"time_out_event", {{kActual, true}}, {kActual, kTimeout}, {{kActual, kTimeout}}, 0},
        LedgerCase {"sent_twice", {{kInitialise, true, 2}, {kActual, true}},
            {kInitialise, kInitialise, kActual, "\x42"}, {{kInitialise, kInitialise}, {kActual, "\x42"}}, 0},
        // A frame the box never reported (its echo was lost): the later frame's
        // records wait until it is given up, then reach their own exchange.
        LedgerCase {
            "lost_echo", {{kDapc, false}, {kActual, true}}, {kActual, "\x42"}, {{kActual, "\x42"}}, 0, true},
        // A bit-bang pattern: the box records no echo of its bytes.
        LedgerCase {"bit_bang_pattern_owes_nothing", {{kDapc, false, 0}, {kActual, true}}, {kActual, "\x42"},
            {{kActual, "\x42"}}, 0},
        LedgerCase {"two_lost_echoes", {{kDapc, false}, {kActual, false}, {kRead, true}}, {kRead, "\x04"},
            {{kRead, "\x04"}}, 0, true},
        // Another master's copy of a later frame before the earlier one reached
        // the bus: it makes us forget neither, and each gets its own answer.
        LedgerCase {"copy_of_a_later_frame_ahead", {{kActual, true}, {kRead, true}},
            {kRead, "\x11", kActual, "\x10", kRead, "\x04"}, {{kActual, "\x10"}, {kRead, "\x04"}}, 0},
        LedgerCase {"unanswered_copy_of_a_later_frame_ahead", {{kActual, false}, {kRead, true}},
            {kRead, kActual, "\x10", kRead, "\x04"}, {{kRead, "\x04"}}, 0},
        LedgerCase {"copy_of_a_later_frame_ahead_and_our_echoes_to_come", {{kActual, false}, {kRead, true}},
            {kRead, "\x11"}, {{}}, 2},
        // Another master's identical frame: after our answer it is not ours; just
        // ahead of ours, on a box that follows each of our echoes by a record,
        // the echo with nothing after it was the other master's.
        LedgerCase {"identical_frame_after_the_answer", {{kActual, true}}, {kActual, "\x42", kActual, "\x43"},
            {{kActual, "\x42"}}, 0},
        LedgerCase {"identical_frame_ahead_on_a_box_closing_exchanges", {{kActual, true, 1, true}},
            {kActual, kActual, kTimeout}, {{kActual, kTimeout}}, 0},
        LedgerCase {"identical_frames_without_answer", {{kActual, true}}, {kActual, kActual}, {{kActual}}, 0},
        LedgerCase {"two_awaited", {{kActual, true}, {kRead, true}}, {kActual, "\x42", kRead, kTimeout},
            {{kActual, "\x42"}, {kRead, kTimeout}}, 0},
        // A one-byte frame's echo is one byte: no answer of the frame before
        // it, nor of itself, and it holds up none of the frames after it.
        LedgerCase {"one_byte_frame_after_an_unanswered_query", {{kActual, true}, {kOneByte, false}},
            {kActual, kOneByte}, {{kActual}}, 0},
        LedgerCase {
            "awaited_one_byte_frame", {{kOneByte, true, 1, true}}, {kOneByte, kTimeout}, {{kTimeout}}, 0},
        LedgerCase {"one_byte_frame_ahead", {{kOneByte, false}, {kActual, true}}, {kOneByte, kActual, "\x42"},
            {{kActual, "\x42"}}, 0},
        // Equal bytes: on a box closing exchanges the query's answer comes
        // first; another master's answer taken for the echo never reaches us.
        LedgerCase {"one_byte_frame_after_a_closed_query_answered_alike",
            {{kActual, true, 1, true}, {kOneByte, false}}, {kActual, kOneByte, kOneByte},
            {{kActual, kOneByte}}, 0},
        LedgerCase {"one_byte_frame_after_another_masters_answer_alike", {{kOneByte, true, 1, true}},
            {kOther, kOneByte, kOneByte, kTimeout}, {{kTimeout}}, 0},
        // Our DAPC's echo lost, our query's records held behind it, then more
        // records of another master than are ever held, its copy of our query
        // and its answer: the query is in doubt, and the copy's answer is nobody's.
        LedgerCase {"more_records_held_than_the_cap", {{kDapc, false}, {kActual, true}},
            busOrder({{kActual, "\x21"}, std::vector<QByteArray>(1100, kOther), {kActual, "\x4D"}}), {{}}, 0,
            true, {true}},
        // Both records of our query lost, then our DAPC's echo: held behind the
        // query, then dropped with more records than are held. Had the held
        // records been ours, another master's copy of the query after them is
        // no echo of ours: the query is in doubt, and the copy's answer is nobody's.
        LedgerCase {"oldest_frame_lost_before_more_records_held_than_the_cap", {{kActual, true}, {kDapc, false}},
            busOrder({{kDapc}, std::vector<QByteArray>(1100, kOther), {kActual, "\x4D"}}), {{}}, 0, true, {true}},
        // The same with bursts that fill the cap right at the copy's echo, or
        // one record before it; the query asked again is not sent while the
        // first is owed, and is answered once it was given up.
        heldCapBurst("hold_cap_reached_at_the_copy", 1022),
        heldCapBurst("hold_cap_reached_before_the_copy", 1023),
        // DTR1 and DTR0, then two READ MEMORY LOCATION, the first one's echo
        // lost: a byte after our DTR0 (which has no answer) may be the first
        // read's answer, and the echo after it the second read's. Both reads
        // are in doubt; neither takes location 1's byte for location 0's.
        LedgerCase {"answer_while_the_oldest_frame_owes_its_echo",
            {{kDtr1Zero, false}, {kDtr0Zero, false}, {kRead, true}, {kRead, true, 1, false, 3}},
            {kDtr1Zero, kDtr0Zero, "\x05", kRead, "\x06"}, {{}, {kNotSent}}, 0, false, {true, false}},
        // On a box that records an answer or time-out event after each of our
        // echoes: another master's identical frame, then its next frame. The
        // first echo was not ours: ours and its time-out event are.
        LedgerCase {"closing_echo_followed_by_another_frame", {{kActual, true, 1, true}},
            {kActual, kOther, kActual, kTimeout}, {{kActual, kActual, kTimeout}}, 0, false, {false}},
        // Our one-byte frame and a query to an empty address, another master's
        // copies of both ahead of ours: our one-byte echo is no answer to the query.
        LedgerCase {"copies_of_a_one_byte_frame_and_a_query_ahead",
            {{kOneByte, true, 1, true}, {kActual, true, 1, true}},
            {kOneByte, kActual, kOneByte, kTimeout, kActual, kTimeout}, {{kTimeout}, {kActual, kTimeout}}, 0,
            false, {false, false}},
        // Records the box lost, shown by the indices of those after them (each
        // row starts after a record the ledger counts on). Our
        // query's answer lost (a box without time-out events says nothing
        // more): what follows is another master's, and "no answer" would be false.
        LedgerCase {"lost_answer_shown_by_the_next_index", {{kActual, true}}, {kActual, "-", kOther, "\x11"},
            {{kActual}}, 0, true, {true}},
        // Both records of our first read lost: the second read goes out once
        // the first is given up, and its echo shows the loss (it may have
        // been among the lost records): in doubt, and its byte (of the next
        // location) is never the first one's. The third is answered.
        LedgerCase {"lost_frame_then_an_identical_one",
            {{kRead, true}, {kRead, true, 1, false, 4}, {kRead, true, 1, false, 7}},
            {kOther, "-", "-", "late", kRead, "\x04", "late", kRead, "\x05"}, {{}, {}, {kRead, "\x05"}}, 0,
            false, {false, true, false}},
        // The box lost both records of our unawaited query, then the same
        // query is asked again and again: not sent while the lost one is owed;
        // once it is given up, the first asking shows the loss (in doubt) and
        // the next is answered.
        LedgerCase {"lost_query_asked_again",
            {{kDapc, false}, {kActual, false}, {kActual, true, 1, false, 3}, {kActual, true, 1, false, 4},
                {kActual, true, 1, false, 7}},
            {kDapc, "-", "-", "late", kActual, "\x10", "late", kActual, "\x10"},
            {{kNotSent}, {}, {kActual, "\x10"}}, 0, false, {false, true, false}},
        // Only its echo lost: its answer shows the loss, and is nobody's.
        LedgerCase {"lost_echo_of_a_query_asked_again",
            {{kDapc, false}, {kActual, false}, {kActual, true, 1, false, 3}, {kActual, true, 1, false, 4}},
            {kDapc, "-", "\x10", "late", kActual, "\x10"}, {{kNotSent}, {kActual, "\x10"}}, 0, false,
            {false, false}},
        // A frame whose write never reached the box owes nothing: another
        // master's identical frame later is not taken for it, and our closing
        // query's records stay its own (its time-out event, not 0x81).
        LedgerCase {"write_that_failed_owes_nothing",
            {{QByteArray("\x03\xA0", 2), false, 1, false, 0, true}, {kActual, true, 1, true}},
            {kActual, kTimeout, QByteArray("\x03\xA0", 2), "\x10", QByteArray("\x00\x81", 2), kActual,
                "\x81"},
            {{kActual, kTimeout}}, 0, false, {false}},
        // A DMX frame's records come after those numbered later: the DALI
        // records wait for them, and its empty answer slot is no loss.
        LedgerCase {"dmx_frame_recorded_after_later_records", {{kActual, true}},
            {kOther, "dmx", kActual, "\x11", "DMX", kOther, "\x12"}, {{kActual, "\x11"}}, 0, false, {false}},
        // Its record never came: lost, as any other.
        LedgerCase {"dmx_frame_lost", {{kActual, true}}, {kOther, "dmx", kActual, "\x11"}, {{}}, 0, true, {true}},
        // The DMX frame's own record lost, its answer the first record
        // reported, then our first query's echo lost: the index after the
        // DMX answer is no answer slot but a loss, and neither query takes
        // the second one's answer.
        LedgerCase {"dmx_frame_lost_before_its_answer_then_our_echo",
            {{kActual, true}, {kActual, false}}, {"dmx", "DMX+", "-", "\x10", kActual, "\x20"}, {{}}, 0, true,
            {true}},
        // Our query's answer lost and shown by the next index, a DMX
        // frame's: "no answer" would be false.
        // Our query's answer has the byte of a later one-byte frame of ours,
        // behind a frame whose echo has not come: it is held, and dropped
        // with more records than are held. The query may not end on "no answer".
        LedgerCase {"answer_held_then_dropped", {{kActual, true}, {kDapc, false}, {kOneByte, false}},
            busOrder({{kActual, "\x5A"}, std::vector<QByteArray>(1100, kOther), {"late"}}), {{kActual}}, 0, false,
            {true}},
        // Another master's copy of our query came first and was taken for
        // ours, then a record was lost: ours may still come, so the same
        // query asked again waits until it would have been given up.
        LedgerCase {"copy_taken_for_ours_then_a_loss",
            {{kActual, true}, {kActual, true, 1, false, 3}, {kActual, true, 1, false, 6}},
            {kActual, "-", kOther, kActual, "\x11", "late", kActual, "\x22"},
            {{kActual}, {kNotSent}, {kActual, "\x22"}},
            0, false, {true, false, false}},
        // On a box with time-out events, the echo of our one-byte frame lost:
        // a later query's answer with its byte is taken for that echo, and the
        // next query's echo shows it was not. The lost frame is not owed again,
        // or it would take every later answer with its byte: the query asked
        // again is answered once the lost frame is past coming.
        LedgerCase {"one_byte_echo_lost_then_queries_answered_with_its_byte",
            {{kDapc, false}, {kOneByte, true, 1, true}, {kActual, true, 1, true, 3},
                {kActual, true, 1, true, 6}, {kActual, true, 1, true, 9}},
            {kDapc, "-", kTimeout, kActual, "\x5A", "late", kActual, "\x5A", "late", kActual, "\x5A"},
            {{}, {}, {kActual, "\x5A"}, {kActual, "\x5A"}}, 0, false, {true, true, false, false}},
        // The same, but the byte taken for the echo was another master's, and
        // the query's echo came from its copy too: our one-byte frame's own
        // echo may still come, and would look like the query's answer.
        LedgerCase {"one_byte_echo_taken_from_a_copy_then_a_copy_of_the_query",
            {{kOneByte, true, 1, true}, {kActual, true, 1, true, 3}},
            {kOther, "-", "\x5A", kActual, "\x5A", kTimeout, kActual, "\x11"}, {{}, {}}, 0, false,
            {true, true}},
        // A poll failed before the first record; our query goes out after
        // it, and a DMX record is the first to show a loss before it: the box
        // may have lost our echo as well as what the poll took.
        LedgerCase {"loss_before_the_first_record_shown_by_a_dmx_record", {{kActual, true, 1, false, 2}},
            {"-", "fail", "dmx", "DMX", kActual, "\x11"}, {{}}, 0, false, {true}},
        LedgerCase {"lost_answer_shown_by_a_dmx_record", {{kPresent, true}}, {kPresent, "-", "dmx", "DMX"},
            {{kPresent}}, 0, false, {true}},
        // Back-to-back DMX frames recorded after the DALI records numbered
        // after them (long breaks), nothing lost: nothing in doubt.
        LedgerCase {"dmx_frames_recorded_late_beside_queries", {{kActual, true}, {kPresent, true}},
            {"dmx", "dmx", kActual, "\x11", "DMX", kPresent, "DMX", kTimeout},
            {{kActual, "\x11"}, {kPresent, kTimeout}}, 0, false, {false, false}},
        // A DMX record of a frame whose index the sender has not told yet:
        // the gap is its own or lost, settled once told.
        LedgerCase {"dmx_frame_told_after_its_record", {{kActual, true}},
            {kActual, "dmx?", "DMX", "\x11", "dmx!"}, {{kActual, "\x11"}}, 0, false, {false}},
        LedgerCase {"lost_answer_shown_by_the_record_of_a_dmx_frame_not_told_yet", {{kPresent, true}},
            {kPresent, "-", "dmx?", "DMX", "dmx!"}, {{kPresent}}, 0, false, {true}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DaliLedgerSender, RecordsOfAReleasedOrRefusedFrameReachNobody)
{
    VandrelDaliLedger ledger;
    proto::PacketMutex givenUp(0, false);
    const auto ticket = ledger.sending(kRead, 1, &givenUp);
    ledger.goesOut(ticket, 1);
    ledger.release(ticket); // the sender gave up before its echo came
    ledger.recordsFrom(2);
    ledger.takeRecord(record(kRead));
    ledger.takeRecord(record("\x03"));
    proto::PacketMutex refused(0, false);
    ledger.refused(ledger.sending(kRead, 1, &refused));
    proto::PacketMutex next(0, false);
    ledger.goesOut(ledger.sending(kRead, 1, &next), 3);
    ledger.recordsFrom(4);
    for (const QByteArray& bytes : {kRead, QByteArray("\x04")})
        ledger.takeRecord(record(bytes));
    EXPECT_TRUE(drain(givenUp).empty());
    EXPECT_TRUE(drain(refused).empty());
    EXPECT_EQ(drain(next), (std::vector<QByteArray> {kRead, "\x04"}));
}

TEST(DaliLedgerSender, OtherRecordTypesAreNotTaken)
{
    VandrelDaliLedger ledger;
    proto::RawPacket dmx;
    dmx.setPacketType(proto::PACKET_TYPE_DMX);
    EXPECT_FALSE(ledger.takeRecord(dmx));
}

// A record that a poll reported before our request went out is another
// master's, even with our frame's bytes; the records after it are ours.
TEST(DaliLedgerSender, RecordsReportedBeforeTheRequestWentOutAreNotOurs)
{
    VandrelDaliLedger ledger;
    proto::PacketMutex waiter(0, false);
    const auto ticket = ledger.sending(kActual, 1, &waiter);
    ledger.recordsFrom(1); // a poll while our request waited for the transfer mutex
    ledger.takeRecord(record(kActual));
    ledger.takeRecord(record("\x11"));
    ledger.goesOut(ticket, 2);
    ledger.recordsFrom(3);
    ledger.takeRecord(record(kOther));
    ledger.takeRecord(record("\x12"));
    ledger.takeRecord(record(kActual));
    ledger.takeRecord(record("\x42"));
    EXPECT_EQ(drain(waiter), (std::vector<QByteArray> {kActual, "\x42"}));
    EXPECT_EQ(ledger.owedCount(), 0);
}

// Two echoes of our frame with nothing between them on a box that records
// nothing for a missing answer, then an answer: whose it is cannot be told, so
// nobody gets it and the sender learns its query is in doubt.
TEST(DaliLedgerSender, AnAnswerAfterTwoIdenticalEchoesIsInDoubt)
{
    VandrelDaliLedger ledger;
    proto::PacketMutex waiter(0, false);
    const auto ticket = ledger.sending(kRead, 1, &waiter);
    ledger.goesOut(ticket, 1);
    ledger.recordsFrom(2);
    for (const QByteArray& bytes : {kRead, kRead, QByteArray("\x03")})
        ledger.takeRecord(record(bytes));
    EXPECT_EQ(drain(waiter), (std::vector<QByteArray> {kRead}));
    EXPECT_TRUE(ledger.inDoubt(ticket));
    EXPECT_NE(waiter.feedEndStatus(), 0);
    ledger.release(ticket);
    EXPECT_FALSE(ledger.inDoubt(ticket));
}

// While records may be a later frame's or another master's, no pass reaches a
// waiter: a box that says nothing for a missing answer would otherwise have it
// judged unanswered before its records are known. Nor while its own echo is
// still to come: until then the box has not shown the frame on the bus.
TEST(DaliLedgerSender, WhileRecordsAreHeldNoPassReachesTheWaiter)
{
    VandrelDaliLedger ledger;
    ledger.goesOut(ledger.sending(kActual, 1, nullptr), 1);
    proto::PacketMutex waiter(0, false);
    ledger.goesOut(ledger.sending(kRead, 1, &waiter), 2);
    waiter.armQuietWindow();
    proto::PacketMutex::WaitRule onePass;
    onePass.quietPasses = 1;
    onePass.guard = onePass.backstop = proto::PacketMutex::Clock::now(); // no waiting
    ledger.recordsFrom(3);
    ledger.takeRecord(record(kRead)); // another master's copy of our second frame
    ledger.takeRecord(record("\x11"));
    ledger.passCompleted(VandrelDaliLedger::Clock::now());
    EXPECT_EQ(waiter.waitForAnswer(onePass), proto::PacketMutex::WAIT_BACKSTOP);
    ledger.takeRecord(record(kActual));
    ledger.takeRecord(record("\x10"));
    ledger.passCompleted(VandrelDaliLedger::Clock::now());
    EXPECT_EQ(waiter.waitForAnswer(onePass), proto::PacketMutex::WAIT_BACKSTOP);
    ledger.takeRecord(record(kRead));
    // A pass that began after the answer window (a box without time-out events).
    ledger.passCompleted(VandrelDaliLedger::Clock::now() + std::chrono::seconds(1));
    EXPECT_EQ(drain(waiter), (std::vector<QByteArray> {kRead}));
    ledger.passCompleted(VandrelDaliLedger::Clock::now() + std::chrono::seconds(1));
    EXPECT_EQ(waiter.waitForAnswer(onePass), proto::PacketMutex::WAIT_QUIET);
}

// A timed query queued behind our DAPC: its echo comes late, a pass drains the
// box before the box made the time-out event, then the monitor stalls past the
// guard. The answer window counts from the echo, not from the request: that
// pass shows no silent box, a pass begun a window after the echo does.
TEST(DaliLedgerSender, ATimedQuerysAnswerWindowCountsFromItsEcho)
{
    using Clock = VandrelDaliLedger::Clock;
    const std::chrono::milliseconds window(60);
    VandrelDaliLedger ledger(window);
    ledger.goesOut(ledger.sending(kDapc, 1, nullptr), 1);
    proto::PacketMutex waiter(0, false);
    const auto query = ledger.sending(kActual, 1, &waiter, VandrelDaliLedger::RoomWait(), true);
    ledger.goesOut(query, 2);
    waiter.armQuietWindow();
    const auto armed = Clock::now(); // at or after the arming
    auto echoed = Clock::now();
    while (echoed <= armed) // the echo comes at a later instant
        echoed = Clock::now();
    ledger.recordsFrom(3);
    ledger.takeRecord(record(kDapc));
    ledger.takeRecord(record(kActual));
    proto::PacketMutex::WaitRule pastTheGuard;
    pastTheGuard.window = window;
    pastTheGuard.guard = pastTheGuard.backstop = Clock::now(); // no waiting
    EXPECT_EQ(drain(waiter), (std::vector<QByteArray> {kActual}));
    // Began a window after the request went out, but not after the echo came.
    ledger.passCompleted(armed + window + (echoed - armed) / 2);
    EXPECT_EQ(waiter.waitForAnswer(pastTheGuard), proto::PacketMutex::WAIT_BACKSTOP);
    ledger.passCompleted(Clock::now() + window);
    EXPECT_EQ(waiter.waitForAnswer(pastTheGuard), proto::PacketMutex::WAIT_GUARD);
}

// An index that may yet come, shown by a DMX record (of a frame whose index
// the sender has not told yet), holds the verdict of the frame on the bus:
// the missing record may be its answer. Once it is known lost, the frame is in doubt.
TEST(DaliLedgerSender, AGapShownByADmxRecordHoldsTheVerdict)
{
    VandrelDaliLedger ledger;
    proto::PacketMutex waiter(0, false);
    const auto ticket = ledger.sending(kPresent, 1, &waiter);
    ledger.goesOut(ticket, 1);
    waiter.armQuietWindow();
    proto::PacketMutex::WaitRule onePass;
    onePass.quietPasses = 1;
    onePass.guard = onePass.backstop = proto::PacketMutex::Clock::now(); // no waiting
    ledger.recordsFrom(2);
    nextIndex = 40;
    ledger.takeRecord(record(kPresent));
    ledger.dmxFrameGoesOut(std::chrono::milliseconds(1));
    proto::RawPacket dmx; // given 42, reported before the sender knew it: 41 may be its
    dmx.setPacketType(proto::PACKET_TYPE_DMX);
    dmx.setIndex(42);
    ledger.takeRecord(dmx);
    EXPECT_EQ(drain(waiter), (std::vector<QByteArray> {kPresent}));
    ledger.passCompleted(VandrelDaliLedger::Clock::now() + std::chrono::seconds(1));
    EXPECT_EQ(waiter.waitForAnswer(onePass), proto::PacketMutex::WAIT_BACKSTOP);
    EXPECT_FALSE(ledger.inDoubt(ticket));
    ledger.dmxFrameGiven(42, true);
    EXPECT_TRUE(ledger.inDoubt(ticket));
}

// A full ledger forgets nothing: the next sender is refused without a wait,
// or waits until an echo makes room.
TEST(DaliLedgerSender, AFullLedgerMakesTheSenderWaitForRoom)
{
    VandrelDaliLedger ledger;
    for (int i = 0; i < VandrelDaliLedger::MaxOwed; ++i)
        ledger.goesOut(ledger.sending(i == 0 ? kActual : kDapc, 1, nullptr), quint64(i + 1));
    EXPECT_EQ(ledger.sending(kActual, 1, nullptr), 0u);
    EXPECT_EQ(ledger.owedCount(), VandrelDaliLedger::MaxOwed);

    VandrelDaliLedger::Ticket waited = 0;
    proto::PacketMutex late(0, false);
    std::thread sender([&] {
        waited = ledger.sending(kActual, 1, &late, {std::chrono::seconds(60), std::chrono::seconds(60)});
    });
    ledger.recordsFrom(1000);
    ledger.takeRecord(record(kActual)); // the oldest frame's echo: room for one
    sender.join();
    EXPECT_NE(waited, 0u);
    EXPECT_EQ(ledger.owedCount(), VandrelDaliLedger::MaxOwed);
    // The first frame's answer is still its own, not the new query's.
    ledger.goesOut(waited, 1001);
    ledger.takeRecord(record("\x0A"));
    EXPECT_TRUE(drain(late).empty());
}

// A frame is given up on only once a pass that began after its time on the
// bus drained the box without its echo; polling that ended frees a waiting sender.
TEST(DaliLedgerSender, OnlyAFrameTheBoxCannotReportAnyMoreIsGivenUp)
{
    VandrelDaliLedger ledger(std::chrono::milliseconds(60));
    ledger.goesOut(ledger.sending(kDapc, 2, nullptr), 1);
    const auto out = VandrelDaliLedger::Clock::now();
    ledger.recordsFrom(2);
    const auto lost = out + VandrelDaliLedger::LostAfter;
    ledger.passCompleted(lost + std::chrono::milliseconds(100)); // within two copies' time beyond
    EXPECT_EQ(ledger.owedCount(), 1);
    ledger.passCompleted(lost + std::chrono::milliseconds(200));
    EXPECT_EQ(ledger.owedCount(), 0);

    for (int i = 0; i < VandrelDaliLedger::MaxOwed; ++i)
        ledger.sending(kDapc, 1, nullptr); // none went out yet
    VandrelDaliLedger::Ticket late = 0;
    std::thread sender([&] {
        late = ledger.sending(kDapc, 1, nullptr, {std::chrono::seconds(60), std::chrono::seconds(60)});
    });
    ledger.feedEnded(-3);
    sender.join(); // at once, not after its 60 s: waiting for room ends with the feed
    // The ended feed reports nothing more, and a box polled again is opened
    // anew, its old records drained into the packet log alone: none of these
    // frames would get its own records any more. (A sender that came after
    // the end found room, and was told of the end as it registered.)
    EXPECT_EQ(ledger.owedCount(), late == 0 ? 0 : 1);
}

int heldLogLines = 0;

void countHeldLogLines(QtMsgType, const QMessageLogContext&, const QString& message)
{
    heldLogLines += message.contains(QStringLiteral("records held")) ? 1 : 0;
}

// Records held behind a frame whose echo was lost, more of them than are ever
// held: another master's DTR0 among those the ledger could not keep still
// counts for our READ MEMORY LOCATION after them, and the log says so once.
TEST(DaliLedgerSender, MemoryTrafficAmongRecordsBeyondTheHoldCapDisturbsTheRead)
{
    heldLogLines = 0;
    const QtMessageHandler before = qInstallMessageHandler(countHeldLogLines);
    VandrelDaliLedger ledger;
    quint64 transfer = 0;
    for (const QByteArray& frame : {kDtr1Zero, kDtr0Zero, kDapc, kActual})
        ledger.goesOut(ledger.sending(frame, 1, nullptr), ++transfer); // the DAPC's echo will be lost
    ledger.recordsFrom(++transfer);
    for (const QByteArray& bytes : busOrder({{kDtr1Zero, kDtr0Zero, kActual, "\x21", QByteArray("\xA3\x09", 2)},
             std::vector<QByteArray>(1100, kOther)}))
        ledger.takeRecord(record(bytes));
    ledger.passCompleted(
        VandrelDaliLedger::Clock::now() + VandrelDaliLedger::LostAfter + std::chrono::seconds(1));
    proto::PacketMutex waiter(0, false);
    const auto read = ledger.sending(kRead, 1, &waiter);
    ledger.goesOut(read, ++transfer);
    ledger.recordsFrom(++transfer);
    ledger.takeRecord(record(kRead));
    ledger.takeRecord(record("\x07"));
    qInstallMessageHandler(before);
    EXPECT_TRUE(ledger.disturbed(read));
    EXPECT_EQ(heldLogLines, 1);
}

TEST(DaliLedgerSender, TheMonitorsWordReachesTheWaitingSender)
{
    VandrelDaliLedger ledger;
    proto::PacketMutex waiter(0, false);
    ledger.sending(kActual, 1, &waiter);
    ledger.pollFailed(-7);
    EXPECT_EQ(waiter.feedEndStatus(), -7);
    // A sender that comes after the monitor stopped for good learns it at once.
    ledger.feedEnded(-3);
    proto::PacketMutex later(0, false);
    ledger.sending(kActual, 1, &later);
    EXPECT_EQ(later.feedEndStatus(), -3);
}

// Another master's frames between ours and what our awaited frame depends
// on. Memory: those that can change what the gear's pointer selects disturb a
// memory-location frame after our selection, others do not; under our latch
// of an energy bank, any memory write disturbs a read (it may have released
// the latch). A device type's query: any frame between our ENABLE DEVICE TYPE
// and it used the enabling up. Unless a case says otherwise our frames are
// DTR1 1, DTR0 3, then READ MEMORY LOCATION of short address 0, awaited.
const QByteArray kDtr1("\xC3\x01", 2);
const QByteArray kDtr0("\xA3\x03", 2);
const QByteArray kEnable("\xC1\x06", 2);     // ENABLE DEVICE TYPE 6
const QByteArray kLedQuery("\x01\xF1", 2);   // QUERY FEATURES (device type 6), short address 0
const QByteArray kEnergyBank("\xC3\xCA", 2); // DTR1 202
const QByteArray kLockByte("\xA3\x02", 2);   // DTR0 2
const QByteArray kLatch("\xC7\xAA", 2);      // WRITE MEMORY LOCATION 0xAA
const QByteArray kRelease("\xC7\xFF", 2);    // WRITE MEMORY LOCATION 0xFF
const QByteArray kEnergy("\xA3\x05", 2);     // DTR0 5
const std::vector<QByteArray> kLatchedRead {kEnergyBank, kLockByte, kLatch, kEnergyBank, kEnergy, kRead};

struct DisturbanceCase
{
    const char* name;
    std::vector<QByteArray> records; // in bus order; "D1", "D0", "R" are ours
    bool closes;                     // the box records an answer or time-out event after each echo
    bool disturbed;
    std::vector<QByteArray> ours = {kDtr1, kDtr0, kRead}; // in send order; the last one awaited
};

class DaliLedgerDisturbance : public ::testing::TestWithParam<DisturbanceCase>
{
};

TEST_P(DaliLedgerDisturbance, ForeignTrafficBetweenOurFrameAndWhatItDependsOn)
{
    const DisturbanceCase& c = GetParam();
    VandrelDaliLedger ledger;
    proto::PacketMutex waiter(0, false);
    quint64 transfer = 0;
    VandrelDaliLedger::Ticket awaited = 0;
    for (size_t i = 0; i < c.ours.size(); ++i) {
        const bool last = i + 1 == c.ours.size();
        const auto ticket = ledger.sending(
            c.ours[i], 1, last ? &waiter : nullptr, VandrelDaliLedger::RoomWait(), last && c.closes);
        ledger.goesOut(ticket, ++transfer);
        awaited = ticket;
    }
    ledger.recordsFrom(++transfer);
    std::vector<QByteArray> records;
    for (const QByteArray& bytes : c.records)
        records.push_back(bytes == "D1" ? kDtr1 : bytes == "D0" ? kDtr0 : bytes == "R" ? kRead : bytes);
    feed(ledger, records);
    // A pass that shows skipped indices lost (and no frame of ours).
    ledger.passCompleted(VandrelDaliLedger::Clock::now() + std::chrono::seconds(1));
    EXPECT_EQ(ledger.disturbed(awaited), c.disturbed);
    ledger.release(awaited);
    EXPECT_FALSE(ledger.disturbed(awaited));
}

std::vector<QByteArray> operator+(std::vector<QByteArray> a, const std::vector<QByteArray>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(BusOrder, DaliLedgerDisturbance,
    ::testing::Values(DisturbanceCase {"quiet", {"D1", "D0", "R", "\x07"}, false, false},
        DisturbanceCase {
            "dtr0_after_ours", {"D1", "D0", QByteArray("\xA3\x09", 2), "R", "\x07"}, false, true},
        DisturbanceCase {
            "dtr0_before_ours", {"D1", QByteArray("\xA3\x09", 2), "D0", "R", "\x07"}, false, false},
        DisturbanceCase {
            "dtr1_after_ours", {"D1", QByteArray("\xC3\x05", 2), "D0", "R", "\x07"}, false, true},
        DisturbanceCase {
            "dtr1_before_ours", {QByteArray("\xC3\x05", 2), "D1", "D0", "R", "\x07"}, false, false},
        DisturbanceCase {"write_memory_location",
            {"D1", "D0", QByteArray("\xC7\x00", 2), "\x00", "R", "\x07"}, false, true},
        DisturbanceCase {"level_stored_in_dtr0_by_our_gear",
            {"D1", "D0", QByteArray("\x01\x21", 2), "R", "\x07"}, false, true},
        DisturbanceCase {
            "read_by_a_group", {"D1", "D0", QByteArray("\x81\xC5", 2), "\x11", "R", "\x07"}, false, true},
        DisturbanceCase {
            "read_by_all", {"D1", "D0", QByteArray("\xFF\xC5", 2), "\x11", "R", "\x07"}, false, true},
        // A record the box lost may have been another master's DTR0.
        DisturbanceCase {"record_lost_between_selection_and_read", {"D1", "D0", "-", "R", "\x07"}, false, true},
        DisturbanceCase {"read_by_another_gear", {"D1", "D0", QByteArray("\x03\xC5", 2), "\x11", "R", "\x07"},
            false, false},
        DisturbanceCase {"level_query_by_our_gear",
            {"D1", "D0", QByteArray("\x01\xA0", 2), "\x11", "R", "\x07"}, false, false},
        // Our READ and another master's identical one, one right after the
        // other: the gear's pointer moved on twice, whichever came first.
        DisturbanceCase {
            "identical_read_beside_ours_closing_box", {"D1", "D0", "R", "R", "\x07"}, true, true},
        DisturbanceCase {"identical_read_beside_ours", {"D1", "D0", "R", "R", "\x07"}, false, true},
        DisturbanceCase {
            "identical_read_after_our_answer", {"D1", "D0", "R", "\x07", "R", "\x08"}, false, false},
        // Copies of our later frames ahead of our selection are held until our
        // first frame shows them foreign, then counted before it.
        DisturbanceCase {
            "copy_of_our_read_ahead_of_the_selection", {"R", "\x11", "D1", "D0", "R", "\x07"}, true, false},
        DisturbanceCase {
            "copy_of_our_dtr0_ahead_of_the_selection", {"D0", "D1", "D0", "R", "\x07"}, false, false},
        // Under our latch of bank 202: another master's DTR0 2 and WRITE
        // MEMORY LOCATION 0xFF (its release) before we select the value's
        // location; without a memory write, or once we released it, a read
        // is not disturbed.
        DisturbanceCase {
            "latch_quiet", kLatchedRead + std::vector<QByteArray> {"\x07"}, false, false, kLatchedRead},
        DisturbanceCase {"latch_released_by_another_master",
            std::vector<QByteArray> {kEnergyBank, kLockByte, kLatch, "\xAA", kLockByte, kRelease, "\xFF",
                kEnergyBank, kEnergy, kRead, "\x07"},
            false, true, kLatchedRead},
        DisturbanceCase {"dtr0_only_under_the_latch",
            std::vector<QByteArray> {kEnergyBank, kLockByte, kLatch, "\xAA", QByteArray("\xA3\x09", 2),
                kEnergyBank, kEnergy, kRead, "\x07"},
            false, false, kLatchedRead},
        DisturbanceCase {"memory_write_after_our_release",
            std::vector<QByteArray> {kEnergyBank, kLockByte, kRelease, "\xFF", kLockByte,
                QByteArray("\xC7\x00", 2), "\x00", kEnergyBank, kEnergy, kRead, "\x07"},
            false, false, {kEnergyBank, kLockByte, kRelease, kEnergyBank, kEnergy, kRead}},
        // ENABLE DEVICE TYPE 6, then a query of device type 6: another
        // master's frame between them takes the enabling.
        DisturbanceCase {
            "device_type_query_quiet", {kEnable, kLedQuery, "\x07"}, true, false, {kEnable, kLedQuery}},
        DisturbanceCase {"frame_between_enabling_and_query", {kEnable, kOther, kLedQuery, kTimeout}, true,
            true, {kEnable, kLedQuery}},
        DisturbanceCase {"frame_before_enabling", {kOther, kEnable, kLedQuery, "\x07"}, false, false,
            {kEnable, kLedQuery}},
        // Another master's exact copy of our ENABLE DEVICE TYPE enabled the
        // gear for the same type right before our query; another type's
        // enabling did not.
        DisturbanceCase {"copy_of_our_enabling_before_the_query", {kEnable, kEnable, kLedQuery, kTimeout},
            true, false, {kEnable, kLedQuery}},
        DisturbanceCase {"copy_of_our_enabling_after_another_frame",
            {kEnable, kOther, kEnable, kLedQuery, kTimeout}, true, false, {kEnable, kLedQuery}},
        DisturbanceCase {"frame_after_a_copy_of_our_enabling",
            {kEnable, kEnable, kOther, kLedQuery, kTimeout}, true, true, {kEnable, kLedQuery}},
        DisturbanceCase {"enabling_of_another_device_type",
            {kEnable, QByteArray("\xC1\x08", 2), kLedQuery, kTimeout}, true, true, {kEnable, kLedQuery}},
        DisturbanceCase {
            "device_type_query_without_enabling", {kOther, kLedQuery, kTimeout}, true, false, {kLedQuery}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
