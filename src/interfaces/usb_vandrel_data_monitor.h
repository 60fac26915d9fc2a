#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct libusb_device_handle;
class QTimer;

namespace tarvesk::proto {
class PacketMutex;
class RawPacket;
class UsbVandrelPacket;
class UsbVandrelPacketFactory;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class IVandrelRecordSink;
class LibUsbInterface;

// Polls a Vandrel interface (firmware 13 and later) for its monitor record
// stream on the interface's own "USB monitor" thread: every tick one polling
// pass of monitor polls, whose replies are reassembled into packets.
// Each packet goes to the record sinks (which keep account of the frames they
// sent), else to a sender waiting for it (through the installed packet mutex),
// and then out by newPacketDetected to the device's packet log.
//
// A box opened anew may still hold records of frames sent before (by an
// earlier run of the service, or before a search opened it again): they look
// like the records of the same frames sent now. So the first polling passes of
// a feed drain the box into the packet log alone, up to and including the
// first pass that drained it (one cut short left older records behind); only
// records of later passes reach the sinks and a waiting sender. The owner
// sends no frame until then (waitUntilPrimed); an owner that gave up waiting
// has every exchange refused with ITF_ERR_BUSY until a pass has drained the box.
//
// Polls that keep failing are retried less and less often (up to
// MaxBackOffMs); the failure is logged when it starts and when it ends, and
// every failed poll ends the wait of the sender (it may have lost a record).
//
// The monitor lives on its thread: create it, move it there, start the thread,
// then init(). Destroy it on that thread (deleteLater) or after the thread has
// ended, and call stopAndWait() before the device closes its USB handle.
class UsbVandrelDataMonitor : public QObject
{
    Q_OBJECT

public:
    // Supplies the device's open USB handle at each poll (null when it is closed).
    using HandleSource = std::function<libusb_device_handle*()>;

    static constexpr int PollIntervalMs = 5;
    // A pass keeps polling while the box says more data waits, but never longer
    // than this: a stuck or hostile box must not hold the monitor thread (and
    // the transfer mutex every request thread needs) for ever.
    static constexpr int MaxPollsPerPass = 128;
    static constexpr int PassDeadlineMs = 250;
    // Longer than one exchange can take (two transfers of at most 1000 ms).
    static constexpr int StopTimeoutMs = 2500;
    // How long the owner of a new feed waits for its first pass: beyond the
    // few milliseconds it takes, a host that runs the monitor seconds late.
    static constexpr int PrimeTimeoutMs = 6000;
    // The longest pause between polls of a box whose polls keep failing.
    static constexpr int MaxBackOffMs = 320;

    UsbVandrelDataMonitor(HandleSource handleSource, LibUsbInterface* transport);
    ~UsbVandrelDataMonitor() override;

    // Has the poll timer made on the monitor's own thread and started.
    void init(int timerVal);
    // Restarts polling with a new interval; carried out on the monitor's thread.
    void start(int interval);
    // Polls again after stopAndWait (the device was connected again): a new
    // feed, whose first pass drains the box. Polling that never stopped goes on.
    void resume(int interval);
    proto::UsbVandrelPacketFactory* getPacketFactory() const { return _packetFactory.get(); }
    // One sender waits at a time. Once installPacketMutex(nullptr) has returned,
    // the monitor thread no longer touches the removed mutex.
    void installPacketMutex(proto::PacketMutex* packetMutex);
    // Every record is offered to the sinks first. Once detach has returned the
    // monitor thread no longer touches the sink.
    void attachRecordSink(IVandrelRecordSink* sink);
    void detachRecordSink(IVandrelRecordSink* sink);
    // Tells every sink something, in order with the records they are offered.
    void tellRecordSinks(const std::function<void(IVandrelRecordSink&)>& tell);

    // Waits, at most timeoutMs, until a polling pass of the feed begun by
    // init() or resume() has drained what the box held before. True once it
    // has; false on time-out or as soon as polling ends (a failed poll goes on
    // waiting: it drained nothing). After a time-out the owner sends anyway,
    // so until a pass has drained the box every waiting sender and record sink
    // is told the feed ended with ITF_ERR_BUSY, and then (feedEnded(0)) that
    // it polls again.
    bool waitUntilPrimed(int timeoutMs = PrimeTimeoutMs);
    // Whether a pass of the current feed has drained what the box held before.
    bool isPrimed() const;

    // Stops polling for good and waits, at most timeoutMs, until no polling
    // pass is under way; after a true result the monitor no longer uses the
    // device's handle, which may then be closed.
    bool stopAndWait(int timeoutMs = StopTimeoutMs);
    // True while the timer polls: false before init, after the device was lost
    // and after stopAndWait.
    bool isPolling() const;
    // The pause between polling passes now: the interval polling was started
    // with, or longer while polls fail.
    int currentIntervalMs() const { return _currentIntervalMs.load(); }

signals:
    void initializeLocalObjects(int timerVal);
    // The receiver takes the packet (the device appends it to its packet log).
    void newPacketDetected(tarvesk::proto::RawPacket* packet);
    void stopPolling();

public slots:
    void newPacket(tarvesk::proto::RawPacket* packet);
    void pollForData();
    void initObjects(int timerVal);

private:
    void deviceLost(int status);
    // Polling has ended for good (until resume): the installed sender, and any
    // installed later, learn it with this status.
    void endFeed(int status);
    void setPolling(bool polling);
    bool isShutDown() const;
    // One poll failed (not for good): told to the waiting sender, logged once
    // per run of failures, and the next poll waits longer.
    void pollFailed(int status);
    void pollsWorkAgain();

    QTimer* _pollTimer = nullptr; // monitor thread only
    LibUsbInterface* _transport;
    HandleSource _handleSource;
    std::unique_ptr<proto::UsbVandrelPacketFactory> _packetFactory; // monitor thread only
    std::unique_ptr<proto::UsbVandrelPacket> _pollRequest;
    std::unique_ptr<proto::UsbVandrelPacket> _pollReply; // monitor thread only
    int _intervalMs = PollIntervalMs; // monitor thread only: the interval polling was started with
    int _failures = 0;                // monitor thread only: polls failed in a row
    std::atomic<int> _currentIntervalMs {PollIntervalMs};
    std::chrono::steady_clock::time_point _failingSince; // monitor thread only
    // Which poll the records handed on came with (LibUsbInterface numbers its
    // transfers): the record sinks tell a frame's records from those the box
    // reported before the frame went out. Monitor thread only.
    quint64 _pollTransfer = 0; // the poll whose reply is being taken apart
    quint64 _recordsFrom = 0;  // the poll the record being handed on came with
    quint64 _carriedFrom = 0;  // the poll whose bytes begin the reassembler's buffer
    int _recordsThisPoll = 0;
    bool _priming = false; // monitor thread only: the pass under way drains what the box held before

    mutable std::mutex _installMutex;
    proto::PacketMutex* _packetMutex = nullptr; // guarded by _installMutex
    std::vector<IVandrelRecordSink*> _sinks;    // guarded by _installMutex
    int _endStatus = 0;                         // guarded by _installMutex
    bool _primed = false;                       // guarded by _installMutex
    // The owner gave up waiting for the priming: _endStatus is ITF_ERR_BUSY
    // until a pass drains the box. Guarded by _installMutex.
    bool _unprimedRefusal = false;
    std::condition_variable _primedChanged;     // with _installMutex

    mutable std::mutex _stateMutex;
    std::condition_variable _passEnded;
    bool _shutDown = false;   // guarded by _stateMutex; cleared only by resume()
    bool _passActive = false; // guarded by _stateMutex
    bool _polling = false;    // guarded by _stateMutex
};

} // namespace tarvesk::itf
