#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

struct libusb_device_handle;
class QTimer;

namespace tarvesk::proto {
class PacketMutex;
class RawPacket;
class UsbVandrelPacket;
class UsbVandrelPacketFactory;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class LibUsbInterface;

// Polls a Vandrel interface (firmware 13 and later) for its monitor record
// stream on the interface's own "USB monitor" thread: every tick one polling
// pass of monitor polls, whose replies are reassembled into packets.
// Each packet goes to a sender waiting for it (through the installed packet
// mutex) and then out by newPacketDetected to the device's packet log.
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

    UsbVandrelDataMonitor(HandleSource handleSource, LibUsbInterface* transport);
    ~UsbVandrelDataMonitor() override;

    // Has the poll timer made on the monitor's own thread and started.
    void init(int timerVal);
    // Restarts polling with a new interval; carried out on the monitor's thread.
    void start(int interval);
    // Polls again after stopAndWait (the device was connected again).
    void resume(int interval);
    proto::UsbVandrelPacketFactory* getPacketFactory() const { return _packetFactory.get(); }
    // One sender waits at a time. Once installPacketMutex(nullptr) has returned,
    // the monitor thread no longer touches the removed mutex.
    void installPacketMutex(proto::PacketMutex* packetMutex);

    // Stops polling for good and waits, at most timeoutMs, until no polling
    // pass is under way; after a true result the monitor no longer uses the
    // device's handle, which may then be closed.
    bool stopAndWait(int timeoutMs = StopTimeoutMs);
    // True while the timer polls: false before init, after the device was lost
    // and after stopAndWait.
    bool isPolling() const;

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

    QTimer* _pollTimer = nullptr; // monitor thread only
    LibUsbInterface* _transport;
    HandleSource _handleSource;
    std::unique_ptr<proto::UsbVandrelPacketFactory> _packetFactory; // monitor thread only
    std::unique_ptr<proto::UsbVandrelPacket> _pollRequest;
    std::unique_ptr<proto::UsbVandrelPacket> _pollReply; // monitor thread only
    bool _failing = false; // monitor thread only: the last poll failed (logged once per run)

    std::mutex _installMutex;
    proto::PacketMutex* _packetMutex = nullptr; // guarded by _installMutex
    int _endStatus = 0;                         // guarded by _installMutex

    mutable std::mutex _stateMutex;
    std::condition_variable _passEnded;
    bool _shutDown = false;   // guarded by _stateMutex; cleared only by resume()
    bool _passActive = false; // guarded by _stateMutex
    bool _polling = false;    // guarded by _stateMutex
};

} // namespace tarvesk::itf
