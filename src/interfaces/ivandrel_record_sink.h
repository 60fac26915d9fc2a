#pragma once

#include "protocol/packet_mutex.h"

#include <QtGlobal>

#include <chrono>

namespace tarvesk::proto {
class RawPacket;
}

namespace tarvesk::itf {

// Something that keeps account of the records a Vandrel box reports for the
// frames it sent, whether or not a sender waits for them (the DALI interface
// does, so that a record always reaches the exchange of its own frame). The
// data monitor offers every record to its sinks, on its own thread, before an
// installed waiting sender sees it, and tells them how its polling goes.
class IVandrelRecordSink
{
public:
    using Clock = proto::PacketMutex::Clock;

    virtual ~IVandrelRecordSink() = default;

    // Every record the box reports, in order. True when the sink has taken
    // it: it belongs to a frame the sink accounts for (or to traffic it keeps
    // apart), so no installed waiter sees it.
    virtual bool takeRecord(const proto::RawPacket& record) = 0;
    // The records offered from now on came with the reply to the poll of that
    // transfer (LibUsbInterface numbers its transfers in the order they go out).
    virtual void recordsFrom(quint64 transfer) { (void)transfer; }
    // A polling pass that began at `began` drained the box.
    virtual void passCompleted(Clock::time_point began) = 0;
    // A poll failed with the bus status `status`; records may have been lost.
    virtual void pollFailed(int status) = 0;
    // Polling ended for good with the bus status `status`, or (0) polls again.
    virtual void feedEnded(int status) = 0;

    // The DMX sender's frames, one at a time. The box gives a frame two
    // indices as its first report arrives (its own record's and its answer's)
    // and records it only once the line has carried it, so the records
    // numbered after it may come first.
    // Before the frame's first report goes out. `busy`: how long it may keep
    // the line once it is on it (break, mark after break, slots, and the
    // answer window when an answer is awaited).
    virtual void dmxFrameGoesOut(std::chrono::microseconds busy) { (void)busy; }
    // Once its chain went out: the box gave it the index byte `index`.
    // `whole`: the whole chain went out; else the box may drop the frame and
    // record nothing of it.
    virtual void dmxFrameGiven(quint8 index, bool whole)
    {
        (void)index;
        (void)whole;
    }
    // Its first report failed: the box may have given it indices nobody knows.
    virtual void dmxFrameUntold() { }
};

} // namespace tarvesk::itf
