#pragma once

#include "protocol/packet_mutex.h"

#include <QtGlobal>

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
};

} // namespace tarvesk::itf
