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
//   from up to three request threads and one DMX sender;
// - the box puts our frames on the bus in the order they went out and records
//   each copy's echo, then the gear's backward frame, a frame error or (on a
//   box with time-out events, for an awaited frame) a time-out event; every
//   record takes the next index of the box's one-byte counter, shared with DMX;
// - another master's frames anywhere between ours: frames of its own, memory
//   traffic (DTR0, DTR1, READ and WRITE MEMORY LOCATION, STORE ACTUAL LEVEL IN
//   DTR0), and identical copies of our frames (of the next one, of one still
//   queued, of the one just on the bus, of one a thread is about to send);
// - lost single records and lost runs of any length; monitor passes that drain
//   the box, are cut short, fail, or come late (a pass that began before the
//   latest frames went out); a box opened anew with old records still in it;
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
//       type's query whose ENABLE DEVICE TYPE another master's frame used up).
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
    // The DMX sender beside the DALI traffic.
    bool dmx = true;
    // A box opened anew (old records drained, its counter maybe restarted).
    bool reopen = true;
    // Bursts of 1100 frames of another master, past the ledger's hold cap
    // while records are held behind a lost echo (needs daliRecordsLost).
    bool pastHoldCap = true;
    // Several of our awaited frames owed at once (request threads beside each other).
    int threads = 3;
};

struct Violation
{
    char clause; // 'a' .. 'd'
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
