#include "interfaces/usb_vandrel_data_monitor.h"

#include "core/itf_error.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/usb_vandrel_packet_factory.h"
#include "protocol/usb/vandrel_request.h"

#include <QMetaMethod>
#include <QThread>
#include <QTimer>

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
        _endStatus = 0;
    }
    _pollTimer->start(timerVal);
}

void UsbVandrelDataMonitor::start(int interval)
{
    // The timer belongs to the monitor's thread; a caller elsewhere has it restarted there.
    emit initializeLocalObjects(interval);
}

void UsbVandrelDataMonitor::resume(int interval)
{
    {
        std::lock_guard<std::mutex> locker(_stateMutex);
        _shutDown = false;
    }
    {
        std::lock_guard<std::mutex> locker(_installMutex);
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

void UsbVandrelDataMonitor::endFeed(int status)
{
    std::lock_guard<std::mutex> locker(_installMutex);
    _endStatus = status;
    if (_packetMutex)
        _packetMutex->endFeed(status);
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
    {
        std::lock_guard<std::mutex> locker(_installMutex);
        if (_packetMutex)
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

void UsbVandrelDataMonitor::pollForData()
{
    if (!_pollTimer || !_pollTimer->isActive())
        return;
    {
        std::lock_guard<std::mutex> locker(_stateMutex);
        if (_shutDown)
            return;
        _passActive = true;
    }
    const auto began = proto::PacketMutex::Clock::now();
    const auto deadline = began + std::chrono::milliseconds(PassDeadlineMs);
    int polls = 0;
    bool drained = false; // the box said it holds nothing more
    for (;;) {
        {
            std::lock_guard<std::mutex> locker(_stateMutex);
            if (_shutDown)
                break;
        }
        libusb_device_handle* handle = _handleSource ? _handleSource() : nullptr;
        const int status = _transport->transferPacket(handle, _pollRequest.get(), _pollReply.get());
        if (status != core::ITF_OK) {
            // Anything but a lost device (a time-out, a pipe error) waits for the next tick.
            if (isDeviceLost(status)) {
                deviceLost(status);
            } else if (!_failing) {
                qCWarning(service::loggerGlog()).noquote()
                    << GLOG_PREFIX
                    << QStringLiteral("USB monitor poll failed (%1), polling again").arg(status);
            }
            _failing = true;
            break;
        }
        _failing = false;
        _packetFactory->handlePacket(_pollReply.get());
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
    if (drained) {
        // Tells a sender that waits for the end of an answer window that the box
        // had nothing more for it up to this pass.
        std::lock_guard<std::mutex> locker(_installMutex);
        if (_packetMutex)
            _packetMutex->passCompleted(began);
    }
    std::lock_guard<std::mutex> locker(_stateMutex);
    _passActive = false;
    _passEnded.notify_all();
}

} // namespace tarvesk::itf
