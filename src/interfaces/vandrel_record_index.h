#pragma once

#include "interfaces/ivandrel_record_sink.h"
#include "protocol/raw_packet.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tarvesk::itf {

// The record index of a Vandrel box, counted past its wrap. The box numbers
// every record it makes with one byte, shared by its DALI and DMX records (a
// DMX frame takes two: its own record and its answer's), so an answer that is
// 256 indices old carries the same byte as the one a sender waits for. While
// the monitor runs late, that many are easily outstanding (a hundred and
// twenty-eight unawaited DMX frames are enough).
//
// So the byte is counted on: every record the monitor reports advances the
// count of reported indices, and the DMX sender tells the index the box gave
// each frame, read as the first count at or above both the indices given and
// those reported before the frame went out. An awaited answer is then known by
// its full count: a DMX record with the byte of the awaited answer but another
// count is an older frame's and reaches no waiter (the packet log still gets
// it). While a DMX sender waits, its DMX records reach it through this object,
// so that what passed to it before its answer's count was known is known too.
//
// How a reported byte is read: the stream comes in index order, bar a few
// records the box numbered after a DMX frame it was still sending, so a byte
// is read as the count at most Behind below or less than 256 - Behind above
// the highest one so far (a shorter run of lost records is counted past). The
// first record after a frame was given, before any other was reported, is read
// at most Behind above that frame's count (older records may be unreported in
// any number up to 255 - Behind), or, once a drained pass began after a frame
// went out, as numbered after that frame; a DMX record is never older than the feed's
// first frame (the box was drained before it went out, and DMX frames are the
// service's own), so one read below it shows that such a first record lay after
// a lost run, not before the frame, and the count moves on by a wrap. Nor is a
// first DMX record older than every frame still on the line when a drained
// pass began (the records of those off it came then, or were lost). A longer
// lost run leaves the reported count behind the given ones; a monitor pass that
// began after a frame went out and drained the box shows that the box had
// reported its older records: a count then more than Settled below that frame
// goes on from just below it. A DMX record with the awaited answer's byte
// passed over as an older frame's before then may have been read short as
// well, or be an older frame's after all: the waiter's feed ends with
// ITF_ERR_PACKET_NOT_ANSWER.
//
// What the byte cannot tell: a frame's count is read as the first at or above
// the floor, so with 256 or more records made and not yet reported when it
// went out (another master's DALI traffic while the monitor runs far behind)
// it is read a wrap too low, and an older frame's answer would carry its
// count. So the awaited answer is handed on only once a monitor pass that
// began after the frame went out drained the box with fewer than 256 counts
// above the frame's: by then all its older records are reported, and no other
// count with its byte lies between the floor and the last one reported. When a
// pass shows more, the answer cannot be told from another frame's, and the
// waiter's feed ends with ITF_ERR_PACKET_NOT_ANSWER.
//
class VandrelRecordIndex : public IVandrelRecordSink
{
public:
    // A count of the box's indices; the byte on the wire is its low 8 bits.
    using Count = qint64;
    static constexpr Count Wrap = 256;
    // The first count at or above `lowest` whose byte is `index`.
    static Count atOrAbove(quint8 index, Count lowest)
    {
        return lowest + ((Count(index) - lowest) % Wrap + Wrap) % Wrap;
    }

    // How far back of the last reported index a byte is read.
    static constexpr Count Behind = 32;
    // Older records a frame's count may have outstanding once a drained pass began after it went out.
    static constexpr Count Settled = 128;
    // DMX records kept back while a frame's first report goes out.
    static constexpr int MaxEarly = 64;
    // Beyond a DMX frame's time on the line, how long the box may take to
    // record it and the monitor to fetch it.
    static constexpr std::chrono::milliseconds RecordMargin {25};
    // Frames given before any record came whose records may still come, at most.
    static constexpr int MaxOnLine = 64;
    // A DMX frame given at `now` that may keep the line for `busy`: the box
    // puts its frames on the line one after the other, so it is carried once
    // the frames given before it are (`lineFreeAt`, moved on past it). When
    // it is recorded at the latest.
    static Clock::time_point recordedBy(
        Clock::time_point& lineFreeAt, Clock::time_point now, std::chrono::microseconds busy)
    {
        lineFreeAt = std::max(now, lineFreeAt) + busy;
        return lineFreeAt + RecordMargin;
    }

    // Before a frame's first report goes out: the lowest count the box can
    // give it (every index given or reported so far is below).
    Count floor() const;
    // The box gave a frame the index byte `index`, sent when the floor was
    // `floorBefore`: the frame's count (its answer is that plus one).
    Count given(quint8 index, Count floorBefore);

    // A sender starts waiting for a DMX answer, before its frame goes out:
    // from now on DMX records reach `waiter` through this object (and no
    // longer through the monitor's installed mutex), noted as they pass.
    void beginAwait(proto::PacketMutex* waiter);
    // The awaited answer's count is known: from now on DMX records with its
    // byte but another count reach no waiter, and the answer reaches it once a
    // drained pass has shown the count right (see above). Returns how many
    // records already passed to the waiter that it must skip: none, since the
    // DMX records reported before the count was known are kept back until then.
    int awaitAnswer(Count answer);
    // The sender no longer waits; once this has returned the waiter is not touched.
    void endAwait();

    bool takeRecord(const proto::RawPacket& record) override;
    void passCompleted(Clock::time_point began) override;
    void dmxFrameGoesOut(std::chrono::microseconds busy) override;
    void pollFailed(int) override { }
    // A box polled again after its feed ended (reconnected) may have started counting anew.
    void feedEnded(int status) override;

private:
    // The awaited answer cannot be told from an older frame's: the waiter's feed ends.
    void untellable();

    // What the reported count is anchored on since the feed (re)started.
    enum class Anchor { None, Given, Record };

    mutable std::mutex _mutex;
    bool _ended = false;            // guarded by _mutex: the feed ended; the next start begins anew
    Anchor _anchor = Anchor::None;  // guarded by _mutex
    Count _reported = -1;           // guarded by _mutex: the highest reported count (Record)
    Count _firstGiven = -1;         // guarded by _mutex: the frame that anchors the count (Given)
    Count _firstReported = -1;      // guarded by _mutex: the first record's count since the start, -1 none
    Count _givenNext = 0;           // guarded by _mutex: the lowest count not yet given to a DMX frame
    Count _lastGiven = -1;          // guarded by _mutex: the count last given, -1 none
    Clock::time_point _lastGivenAt; // guarded by _mutex: when it was known to have gone out
    proto::PacketMutex* _waiter = nullptr; // guarded by _mutex
    Count _answer = -1; // guarded by _mutex: -1 while the awaited answer's count is unknown
    // guarded by _mutex: the first record after the first frame was read as
    // older than that frame; a DMX record may yet show it lay after a lost run
    bool _provisional = false;
    // guarded by _mutex: records before the first frame's own record were read
    // as numbered after it; the second frame's index may show them older
    bool _aheadOfFirst = false;
    // guarded by _mutex: the highest count reported since the first frame's
    // own record (or answer), -1 before it
    Count _sinceFirstOwn = -1;
    // guarded by _mutex: nothing reported yet, the frame given last before a
    // drained pass began (-1 none): no record to come is older than it
    Count _settledGiven = -1;
    // guarded by _mutex: while nothing was reported, the frames given whose
    // records may still come (a drained pass began before the line could
    // have carried them), oldest first, with when they are recorded at the latest
    std::deque<std::pair<Count, Clock::time_point>> _onLine;
    bool _onLineOverflowed = false; // guarded by _mutex: more were given than it holds
    Clock::time_point _lineFreeAt;          // guarded by _mutex: when the frames given are off the line
    std::chrono::microseconds _goingOutBusy {0}; // guarded by _mutex: how long the frame going out may take
    // guarded by _mutex: a drained pass has shown the awaited frame's count right
    bool _confirmed = false;
    // guarded by _mutex: a drained pass showed that the count cannot tell the
    // awaited answer from an older frame's; the waiter's feed was ended
    bool _untellable = false;
    Clock::time_point _awaitGivenAt; // guarded by _mutex: when the awaited frame had gone out
    // guarded by _mutex: DMX records reported before the awaited answer's count
    // was known (at most MaxEarly, the newest), then the answer until confirmed
    std::vector<std::pair<Count, std::unique_ptr<proto::RawPacket>>> _early;
    std::vector<std::unique_ptr<proto::RawPacket>> _held;
    // guarded by _mutex: a DMX record with the awaited answer's byte was
    // passed over as an older frame's
    bool _passedOver = false;
};

} // namespace tarvesk::itf
