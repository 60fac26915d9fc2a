#include "interfaces/usb_vandrel_data_monitor.h"

#include "core/itf_error.h"
#include "interfaces/imonitor_pass_delay.h"
#include "interfaces/ivandrel_record_sink.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/usb_vandrel_packet_factory.h"
#include "protocol/usb/vandrel_request.h"

#include <QMetaMethod>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace tarvesk::itf {

namespace {

// Only libusb's own word that the device is gone stops the polling for good.
// An I/O error or a hang-up of one exchange (a disturbed cable, a box busy
// with a long bus frame) passes: the next tick polls again, and a box that is
// really gone answers that poll with "no device".
bool isDeviceLost(int status)
{
    return status == core::ITF_ERR_NOT_FOUND || status == core::ITF_ERR_NO_DEVICE;
}

} // namespace

UsbVandrelDataMonitor::UsbVandrelDataMonitor(HandleSource handleSource, LibUsbInterface* transport)
    : _transport(transport)
    , _handleSource(std::move(handleSource))
    , _packetFactory(std::make_unique<proto::UsbVandrelPacketFactory>())
    , _pollReply(std::make_unique<proto::UsbVandrelPacket>())
{
    const proto::VandrelReport poll = proto::vandrelCommandRequest(proto::vandrel::VD_CMD_POLL_MONITOR);
    _pollRequest = std::make_unique<proto::UsbVandrelPacket>(poll.data(), int(poll.size()));
    connect(_packetFactory.get(), &proto::UsbVandrelPacketFactory::newPacket, this,
        &UsbVandrelDataMonitor::newPacket, Qt::DirectConnection);
    connect(this, &UsbVandrelDataMonitor::initializeLocalObjects, this, &UsbVandrelDataMonitor::initObjects);
}

UsbVandrelDataMonitor::~UsbVandrelDataMonitor()
{
    // No sender may be in the middle of an exchange while the monitor goes.
    if (_transport)
        _transport->lock();
    {
        std::lock_guard<std::mutex> locker(_stateMutex);
        _shutDown = true;
        _polling = false;
    }
    if (_pollTimer) {
        disconnect(_pollTimer, &QTimer::timeout, this, &UsbVandrelDataMonitor::pollForData);
        _pollTimer = nullptr; // a child: it goes with this object
    }
    _packetFactory.reset();
    _pollRequest.reset();
    _pollReply.reset();
    if (_transport)
        _transport->unlock();
}

void UsbVandrelDataMonitor::init(int timerVal)
{
    emit initializeLocalObjects(timerVal);
}

void UsbVandrelDataMonitor::initObjects(int timerVal)
{
    if (!_pollTimer) {
        _pollTimer = new QTimer(this);
        connect(
            _pollTimer, &QTimer::timeout, this, &UsbVandrelDataMonitor::pollForData, Qt::DirectConnection);
        connect(this, &UsbVandrelDataMonitor::stopPolling, _pollTimer, &QTimer::stop);
    }
    {
        std::lock_guard<std::mutex> locker(_stateMutex);
        if (_shutDown)
            return;
        _polling = true;
    }
    {
        std::lock_guard<std::mutex> locker(_installMutex);
        // A restart of the timer does not lift the refusal of a feed not yet
        // primed: only the pass that drains the box does.
        if (!_unprimedRefusal) {
            _endStatus = 0;
            for (IVandrelRecordSink* sink : _sinks)
                sink->feedEnded(0);
        }
    }
    _intervalMs = qMax(1, timerVal);
    _failures = 0;
    _currentIntervalMs = _intervalMs;
    _pollTimer->start(_intervalMs);
}

void UsbVandrelDataMonitor::start(int interval)
{
    // The timer belongs to the monitor's thread; a caller elsewhere has it restarted there.
    emit initializeLocalObjects(interval);
}

void UsbVandrelDataMonitor::resume(int interval)
{
    bool stopped = false;
    {
        std::lock_guard<std::mutex> locker(_stateMutex);
        stopped = _shutDown || !_polling;
        _shutDown = false;
    }
    if (stopped) {
        // A new feed: what the box holds now is drained before anyone is handed
        // records. (A feed that never stopped goes on as it was.)
        std::lock_guard<std::mutex> locker(_installMutex);
        _primed = false;
        _unprimedRefusal = false;
        _endStatus = 0;
    }
    emit initializeLocalObjects(interval);
}

void UsbVandrelDataMonitor::installPacketMutex(proto::PacketMutex* packetMutex)
{
    std::lock_guard<std::mutex> locker(_installMutex);
    _packetMutex = packetMutex;
    // A monitor that will poll no more feeds nothing: the sender learns it at
    // once instead of at its liveness guard.
    if (_packetMutex && _endStatus != 0)
        _packetMutex->endFeed(_endStatus);
}

void UsbVandrelDataMonitor::attachRecordSink(IVandrelRecordSink* sink)
{
    if (!sink)
        return;
    std::lock_guard<std::mutex> locker(_installMutex);
    if (std::find(_sinks.begin(), _sinks.end(), sink) == _sinks.end())
        _sinks.push_back(sink);
    sink->feedEnded(_endStatus);
}

void UsbVandrelDataMonitor::detachRecordSink(IVandrelRecordSink* sink)
{
    std::lock_guard<std::mutex> locker(_installMutex);
    _sinks.erase(std::remove(_sinks.begin(), _sinks.end(), sink), _sinks.end());
}

void UsbVandrelDataMonitor::tellRecordSinks(const std::function<void(IVandrelRecordSink&)>& tell)
{
    std::lock_guard<std::mutex> locker(_installMutex);
    for (IVandrelRecordSink* sink : _sinks)
        tell(*sink);
}

bool UsbVandrelDataMonitor::waitUntilPrimed(int timeoutMs)
{
    std::unique_lock<std::mutex> locker(_installMutex);
    // A failed poll drained nothing: the next pass goes on with the priming.
    _primedChanged.wait_for(locker, std::chrono::milliseconds(qMax(0, timeoutMs)),
        [this] { return _primed || _endStatus != 0; });
    if (!_primed && _endStatus == 0) {
        // The owner sends from now on, but what the box hands over is still
        // what it held before: every exchange fails (busy) until a pass has
        // drained the box, rather than take an old record for its own.
        _unprimedRefusal = true;
        _endStatus = core::ITF_ERR_BUSY;
        if (_packetMutex)
            _packetMutex->endFeed(_endStatus);
        for (IVandrelRecordSink* sink : _sinks)
            sink->feedEnded(_endStatus);
    }
    return _primed;
}

bool UsbVandrelDataMonitor::isPrimed() const
{
    std::lock_guard<std::mutex> locker(_installMutex);
    return _primed;
}

void UsbVandrelDataMonitor::endFeed(int status)
{
    std::lock_guard<std::mutex> locker(_installMutex);
    _unprimedRefusal = false;
    _endStatus = status;
    _primedChanged.notify_all();
    if (_packetMutex)
        _packetMutex->endFeed(status);
    for (IVandrelRecordSink* sink : _sinks)
        sink->feedEnded(status);
}

bool UsbVandrelDataMonitor::isPolling() const
{
    std::lock_guard<std::mutex> locker(_stateMutex);
    return _polling;
}

void UsbVandrelDataMonitor::setPolling(bool polling)
{
    std::lock_guard<std::mutex> locker(_stateMutex);
    _polling = polling;
}

bool UsbVandrelDataMonitor::isShutDown() const
{
    std::lock_guard<std::mutex> locker(_stateMutex);
    return _shutDown;
}

bool UsbVandrelDataMonitor::stopAndWait(int timeoutMs)
{
    bool quiet = false;
    {
        std::unique_lock<std::mutex> locker(_stateMutex);
        _shutDown = true;
        _polling = false;
        // On the monitor's own thread a pass cannot be waited for from inside itself.
        if (QThread::currentThread() != thread()) {
            _passEnded.wait_for(
                locker, std::chrono::milliseconds(qMax(0, timeoutMs)), [this] { return !_passActive; });
        }
        quiet = !_passActive;
    }
    emit stopPolling();
    endFeed(core::ITF_ERR_NO_DEVICE);
    if (!quiet) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("USB monitor did not finish its poll within %1 ms").arg(timeoutMs);
    }
    return quiet;
}

void UsbVandrelDataMonitor::newPacket(proto::RawPacket* packet)
{
    if (!packet)
        return;
    if (!_priming) {
        std::lock_guard<std::mutex> locker(_installMutex);
        // Every sink sees every record: each counts the box's record index.
        bool taken = false;
        for (IVandrelRecordSink* sink : _sinks)
            taken = sink->takeRecord(*packet) || taken;
        if (++_recordsThisPoll == 1 && _recordsFrom != _pollTransfer) {
            _recordsFrom = _pollTransfer;
            for (IVandrelRecordSink* sink : _sinks)
                sink->recordsFrom(_pollTransfer);
        }
        if (!taken && _packetMutex)
            _packetMutex->checkPacket(packet);
    }
    // The receiver takes the packet; with nobody to take it, it is not kept.
    if (isSignalConnected(QMetaMethod::fromSignal(&UsbVandrelDataMonitor::newPacketDetected)))
        emit newPacketDetected(packet);
    else
        delete packet;
}

void UsbVandrelDataMonitor::deviceLost(int status)
{
    emit stopPolling();
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX << "Warning, device lost: stopping with polling";
    qWarning().noquote().nospace() << "TRANSFER PACKET ERROR, stop usb monitor polling due to error: "
                                   << status;
    // Last: whoever sees the monitor stopped also sees the loss reported.
    setPolling(false);
    endFeed(status);
}

void UsbVandrelDataMonitor::pollFailed(int status)
{
    // While priming, what a failed poll may have taken with it was the box's
    // older records, which nobody takes anyway.
    if (!_priming) {
        std::lock_guard<std::mutex> locker(_installMutex);
        if (_packetMutex)
            _packetMutex->pollFailed(status);
        for (IVandrelRecordSink* sink : _sinks)
            sink->pollFailed(status);
    }
    if (_failures++ == 0) {
        _failingSince = std::chrono::steady_clock::now();
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("USB monitor polls fail (%1: %2); polling less often until they work again")
                   .arg(status)
                   .arg(core::itfErrorToString(status));
    }
    // A box (or cable) in trouble is asked less often: 10, 20, 40 ... ms.
    const int backOff = qMin(MaxBackOffMs, _intervalMs << qMin(_failures, 8));
    _currentIntervalMs = backOff;
    if (_pollTimer)
        _pollTimer->start(backOff);
}

void UsbVandrelDataMonitor::pollsWorkAgain()
{
    const auto failedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - _failingSince);
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QStringLiteral("USB monitor polls work again after %1 failed polls in %2 ms")
               .arg(_failures)
               .arg(failedMs.count());
    _failures = 0;
    _currentIntervalMs = _intervalMs;
    if (_pollTimer)
        _pollTimer->start(_intervalMs);
}

void UsbVandrelDataMonitor::pollForData()
{
    if (!_pollTimer || !_pollTimer->isActive())
        return;
    if (auto* delay = dynamic_cast<IMonitorPassDelay*>(_transport->getLibUsb()))
        delay->beforePollPass(_handleSource ? _handleSource() : nullptr);
    {
        std::lock_guard<std::mutex> locker(_stateMutex);
        if (_shutDown)
            return;
        _passActive = true;
    }
    {
        std::lock_guard<std::mutex> locker(_installMutex);
        _priming = !_primed;
    }
    const auto began = proto::PacketMutex::Clock::now();
    const auto deadline = began + std::chrono::milliseconds(PassDeadlineMs);
    int polls = 0;
    bool drained = false; // the box said it holds nothing more
    for (;;) {
        if (isShutDown())
            break;
        // After the first failure the transport keeps quiet: one line per run of failures.
        quint64 transfer = 0;
        const int status = _transport->transferPacket(_handleSource, _pollRequest.get(), _pollReply.get(),
            _failures > 0 ? LibUsbInterface::FailureLog::Quiet : LibUsbInterface::FailureLog::Logged,
            [&transfer](quint64 number) { transfer = number; });
        if (status != core::ITF_OK) {
            if (isShutDown())
                break; // the device closed its handle meanwhile
            if (isDeviceLost(status))
                deviceLost(status);
            else
                pollFailed(status);
            break;
        }
        if (_failures > 0)
            pollsWorkAgain();
        // Bytes the reassembler kept from an earlier poll begin the first
        // record this reply completes: that record came with the earlier poll.
        const bool carried = _packetFactory->bufferedBytes() > 0;
        _pollTransfer = transfer;
        _recordsFrom = carried ? _carriedFrom : transfer;
        _recordsThisPoll = 0;
        {
            std::lock_guard<std::mutex> locker(_installMutex);
            for (IVandrelRecordSink* sink : _sinks)
                sink->recordsFrom(_recordsFrom);
        }
        _packetFactory->handlePacket(_pollReply.get());
        if (_packetFactory->bufferedBytes() > 0 && (_recordsThisPoll > 0 || !carried))
            _carriedFrom = transfer;
        if (_pollReply->getUint8(1) != proto::vandrel::PollMoreData) {
            drained = true;
            break;
        }
        if (++polls >= MaxPollsPerPass || std::chrono::steady_clock::now() >= deadline) {
            // The rest follows at the next tick.
            qCDebug(service::loggerGlog()).noquote() << QStringLiteral(
                "USB monitor pass cut short after %1 polls; the interface keeps asking for more")
                                                            .arg(polls);
            break;
        }
    }
    const bool primingPass = _priming;
    _priming = false;
    if (primingPass && drained) {
        // What the box held when the feed began is in the packet log. Only a
        // pass that drained the box says so: one cut short left older records
        // in it, and the next pass goes on priming.
        std::lock_guard<std::mutex> locker(_installMutex);
        _primed = true;
        if (_unprimedRefusal) {
            // The owner gave up waiting and its exchanges were refused: from
            // now on the feed is new to the sinks, and usable.
            _unprimedRefusal = false;
            _endStatus = 0;
            for (IVandrelRecordSink* sink : _sinks)
                sink->feedEnded(0);
        }
        _primedChanged.notify_all();
    }
    // A pass whose records reached nobody tells nobody that it found nothing.
    if (drained && !primingPass) {
        // Tells a sender that waits for the end of an answer window that the box
        // had nothing more for it up to this pass.
        // The sinks first: what one hands the sender on seeing the pass (the
        // record index, an answer it kept back) comes before the sender
        // counts the pass as one without a record.
        std::lock_guard<std::mutex> locker(_installMutex);
        for (IVandrelRecordSink* sink : _sinks)
            sink->passCompleted(began);
        if (_packetMutex)
            _packetMutex->passCompleted(began);
    }
    std::lock_guard<std::mutex> locker(_stateMutex);
    _passActive = false;
    _passEnded.notify_all();
}

} // namespace tarvesk::itf
