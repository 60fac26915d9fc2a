#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvesk::test::busorder {

// A small model of a Vandrel box, its DALI bus and its record stream, driving
// the real VandrelDaliLedger and VandrelRecordIndex as the data monitor and
// the DALI and DMX senders do, in any bus order the input bytes describe:
//
// - our frames, each with its USB transfer number (sending, goesOut, refused,
//   release on the ledger; floor, given, beginAwait, awaitAnswer on the index),
//   from up to three request threads and one DMX sender; requests the box
//   refuses, and requests whose write fails after the going-out hook ran; a
//   client that asks the same query again and again;
// - the box puts our frames on the bus in the order they went out and records
//   each copy's echo, then the gear's backward frame, a frame error or (on a
//   box with time-out events, for an awaited frame) a time-out event; every
//   record takes the next index of the box's one-byte counter, shared with DMX;
// - another master's frames anywhere between ours: frames of its own, memory
//   traffic (DTR0, DTR1, READ and WRITE MEMORY LOCATION, STORE ACTUAL LEVEL IN
//   DTR0), and identical copies of our frames (of the next one, of one still
//   queued, of the one just on the bus, of one a thread is about to send);
// - lost single records and lost runs of any length, and losses aimed at one
//   frame (our echo, answer or both; a DMX frame's own record or answer);
//   DMX frames recorded only once the line carried them (break time and
//   slots), after DALI records numbered later; monitor passes that drain the
//   box (soon after the latest frames, or well after), are cut short, fail,
//   come late (a pass that began before the latest frames went out) or after
//   a stall of seconds; bursts of another master past the ledger's hold cap;
//   a box opened anew with old records still in it, primed by the real data
//   monitor (more records than one pass takes, polls that fail meanwhile);
//   one-byte frames; boxes with and without time-out events;
// - two DALI gear with memory banks and a memory pointer (DTR0, DTR1; READ
//   MEMORY LOCATION moves the pointer on), so that every byte a memory read
//   accepts can be checked against the location our own selection pointed to.
//
// Every record carries, out of band, which frame made it (its creation time
// field, which the classes under test copy but never read), so the oracle
// judges each exchange against the truth:
//   (a) it never receives a record of a frame it did not send (judged on the
//       records that make a verdict: answers, frame errors, time-out events;
//       an echo taken for ours only delays the verdict);
//   (b) an accepted memory byte is the byte at the location our own selection
//       pointed to;
//   (c) a verdict of "no answer" never stands where the box reported an answer
//       (or frame error) of our frame;
//   (d) where ownership cannot be proven from what the box reported, the
//       result is in doubt or a clear error, never a value (here: a device
//       type's query whose ENABLE DEVICE TYPE another master's frame used up);
//   (e) liveness: once a disturbance has ended (a record lost, another
//       master's frame, a failed poll or transfer, a refused request, a box
//       opened anew) and a round of drained passes followed, an exchange begun
//       after it, with no disturbance until it ends, ends on a result (a value,
//       "no answer", a frame error) by its second asking (or attempt), never
//       on a clear error nor a wait the backstop ends;
//   (f) in a scenario where nothing disturbed the bus so far, no exchange is
//       in doubt or disturbed.
// What may be missed (a DMX answer not received although the box reported
// it) is allowed only where the README says so, and is counted; a missed
// answer taken by another exchange is a violation of (a) all the same.
//
// No clock is read for a verdict: a pass that "began late enough" is stamped
// 100 ms (or, for a pass that shows records lost, 10 s) ahead of the host
// clock, and the model only says so where it is true of the simulated box.

// Which bus orders the generator makes and which clauses the oracle judges.
// Each switch that is off by default names bus orders that what the box
// reports cannot settle (README says which): the generator keeps away from
// them; the fuzz target can make them all the same (QM_BUS_ORDER=all).
struct Features
{
    // Another master's frame between our ENABLE DEVICE TYPE and the device
    // type's own query: the gear applies the enable to that frame and ignores
    // our query, which must then be in doubt, not "no answer".
    bool foreignBetweenEnableAndQuery = true;
    // Judges a verdict of "no answer" where our echo came, the box lost our
    // answer record and a record it made after it was reported before the
    // verdict (its index shows the loss; a box without time-out events has
    // nothing else to report) as a violation of (c). Needs daliRecordsLost.
    bool lostAnswerIsNoAnswer = true;
    // Another master's frame that the gear answers, identical to one of ours
    // that went out (or is about to) and is not yet on the bus: its echo and
    // answer come first and look exactly like ours. Nothing the box reports
    // tells them apart; the first answered copy is taken.
    bool answeredCopyAhead = false;
    // On a box that follows each of our echoes with a record: another master's
    // identical copy of a queued frame of ours, then another frame of its own,
    // then ours. Decidable: on such a box our echo is followed by its record,
    // so the copy's echo is not taken for ours (nor, with two identical
    // one-byte frames of ours, the first one's time-out event for the second's).
    bool frameAfterCopyOnClosingBox = true;
    // Another master's one-byte frame right after one of ours (or a copy of
    // one) that nothing followed yet: on the bus it is a backward frame, as
    // the gear's answer is.
    bool foreignOneByteAfterOurFrame = false;
    // Lost DALI records while our DALI frames are about, which the ledger
    // sees as skipped indices: our lost echo with its answer kept, or the
    // whole of our frame lost and the next identical frame's records
    // (also after a failed poll that took them), another master's lost echo
    // with its answer kept, another master's lost memory frame. Not made:
    // what the index cannot show (the box's own loss before the first record
    // it kept since it was opened; a run a whole number of wraps long). Off,
    // DALI records are lost only in scenarios without DALI frames of ours
    // (where they still move the index the DMX sender counts on).
    bool daliRecordsLost = true;
    // A box opened anew while the ledger still owes frames whose records the
    // first pass drains into the packet log: the ledger must forget them (else
    // the next identical frame's records are taken for them), and count what
    // was drained as memory traffic it did not see.
    bool owedAcrossReopen = true;
    // Lost records (single and runs up to 32) at all; longer runs (33 to 332
    // indices): those shorter than 224 are to be counted past, right after
    // the feed's first DMX frame too; a longer one may
    // make the exchange under way miss its answer, which the oracle allows.
    // Also the records a failed poll takes with it.
    bool lostRecords = true;
    bool longLostRuns = true;
    // Losses aimed at one frame: our echo, our answer or both (on the bus
    // next to DMX frames, whose records then show the gap), a DMX frame's own
    // record or its answer.
    bool aimedLosses = true;
    // The DMX sender beside the DALI traffic.
    bool dmx = true;
    // How long a DMX frame may take on the line before the box records it
    // (break time, mark after break, slots), in ms: DALI records numbered
    // after it come first (a DALI frame takes some 25 ms), and drained passes
    // begun sooner do not bring it. A break time alone reaches about 173 ms;
    // the DMX sender tells the ledger this longest time on the line.
    int dmxLineMs = 205;
    // Drained passes begun soon after the latest frames (5 to 60 ms), before
    // a DMX frame still on the line was recorded.
    bool quickPasses = true;
    // Runs of them, one every 5 ms (as the monitor polls), the later ones
    // past an answer window: a DMX record that shows our answer lost, and
    // nothing else since, must hold the verdict until the loss is settled.
    bool quickPassRuns = true;
    // A box opened anew (old records drained, its counter maybe restarted).
    bool reopen = true;
    // The box opened anew holds more records than one monitor pass takes (an
    // earlier run's traffic, copies of our frames among them), and polls fail
    // while it is primed: the real data monitor primes the new feed, and
    // whatever it leaves in the box reaches the ledger and the index.
    bool primeThroughMonitor = true;
    // Bursts of another master past the ledger's hold cap while records are
    // held behind a lost echo (needs daliRecordsLost): of 1100 frames.
    bool pastHoldCap = true;
    // Bursts at and around the cap (1018 to 1030 frames, and 2100): a later
    // identical query must not be refused for as long as it is asked.
    bool holdCapSizes = true;
    // A client asks the same query again and again (every few monitor
    // passes), after the box lost its first asking's echo, answer or both,
    // or a burst, or nothing.
    bool pollingClient = true;
    // A command of ours (never awaited) whose write fails, then a client's
    // query and a burst past the hold cap: the command never reaches the bus,
    // and the ledger is told what the transport knows (requestNotWritten in
    // the model), so nothing is held behind it. Off, or half the time, the
    // command's echo is lost instead.
    bool unwrittenCommandBeforeBurst = true;
    // Any request's write fails so: a later identical frame's echo must not
    // be taken for the unwritten one's.
    bool failedTransfers = true;
    // Another master's copy of such a request's bytes: not the unwritten
    // request's echo, and the records after it are not settled as its.
    bool foreignCopyOfUnwrittenRequest = true;
    // Monitor stalls of one to ten seconds (a drained pass begun that long
    // after the latest frames).
    bool stalls = true;
    // (f): where nothing was lost, nothing failed and no other master spoke,
    // nothing is in doubt.
    bool nothingInDoubtUndisturbed = true;
    // (e): once a disturbance has ended (records lost, a burst, another
    // master's traffic, failed polls or transfers, a box opened anew) and a
    // round of drained passes followed, every exchange begun after it ends
    // right, from its second asking on at the latest (never a clear error).
    bool liveness = true;
    // Several of our awaited frames owed at once (request threads beside each other).
    int threads = 3;

};

struct Violation
{
    char clause; // 'a' .. 'f'
    std::string what;
};

struct Stats
{
    int exchanges = 0;   // DALI and DMX exchanges that ended
    int values = 0;      // ended with an answer byte
    int noAnswers = 0;   // ended with "no answer"
    int errors = 0;      // ended with a clear error (doubt, disturbance, time-out, failed poll, busy)
    int missed = 0;      // an answer the box reported was not received, where README allows it
    int memoryBytes = 0; // memory bytes accepted and checked
    int judged = 0;      // exchanges judged by (e): begun once a disturbance had ended
    int undisturbed = 0; // verdicts judged by (f): nothing disturbed the scenario so far
};

struct Outcome
{
    std::vector<Violation> violations;
    Stats stats;
    std::string trace; // the bus order, one line per event (when asked for)
};

// Runs the scenario the bytes describe. Deterministic for the same bytes.
Outcome runScenario(const uint8_t* data, size_t size, const Features& features, bool trace = false);

} // namespace tarvesk::test::busorder
