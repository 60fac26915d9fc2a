#include "interfaces/lib_usb_interface.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
#include "protocol/usb/usb_packet.h"

#include <algorithm>
#include <cstring>

namespace tarvesk::itf {

// Every failure of this transport goes to the persistent log.
#define QM_USB_CRITICAL() qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX
// The same, for a failure whose caller may have asked for quiet (`logged`).
#define QM_USB_FAILURE()                                                                                     \
    for (bool qmLogOnce = logged; qmLogOnce; qmLogOnce = false)                                              \
    QM_USB_CRITICAL()

LibUsbInterface::LibUsbInterface(std::shared_ptr<ILibUsb> libUsb)
    : _libUsb(libUsb ? std::move(libUsb) : defaultLibUsb())
{ }

LibUsbInterface::~LibUsbInterface()
{
    std::lock_guard<std::mutex> locker(_transferMutex);
    if (_context) {
        const int held = heldDeviceCount() + openHandleCount();
        if (held > 0)
            QM_USB_CRITICAL()
                << QStringLiteral("USB library closed while %1 devices still hold it").arg(held);
        _libUsb->exit(_context);
        _context = nullptr;
    }
    _initialised = false;
}

bool LibUsbInterface::init()
{
    std::lock_guard<std::mutex> locker(_transferMutex);
    if (_initialised)
        return _context != nullptr;
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Initializing libusb...");
    libusb_context* context = nullptr;
    const int result = _libUsb->init(&context);
    if (result != 0) {
        QM_USB_CRITICAL() << QStringLiteral("Could not reinitialize USB library : %1").arg(result);
        _context = nullptr;
        _initialised = false;
        return false;
    }
    _context = context;
    _initialised = true;
    return true;
}

bool LibUsbInterface::exitLocked(const char* what)
{
    if (!_context) {
        _initialised = false;
        return true;
    }
    const int held = heldDeviceCount();
    const int open = openHandleCount();
    if (held > 0 || open > 0) {
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("USB library %1 skipped: %2 devices referenced and %3 handles open")
                   .arg(QLatin1String(what))
                   .arg(held)
                   .arg(open);
        return false;
    }
    _libUsb->exit(_context);
    _context = nullptr;
    _initialised = false;
    return true;
}

bool LibUsbInterface::reset()
{
    {
        std::lock_guard<std::mutex> locker(_transferMutex);
        if (!exitLocked("reset"))
            return false;
    }
    return init();
}

bool LibUsbInterface::close()
{
    std::lock_guard<std::mutex> locker(_transferMutex);
    return exitLocked("close");
}

bool LibUsbInterface::isInitialised() const
{
    std::lock_guard<std::mutex> locker(_transferMutex);
    return _initialised;
}

libusb_context* LibUsbInterface::getContext() const
{
    std::lock_guard<std::mutex> locker(_transferMutex);
    return _context;
}

libusb_device* LibUsbInterface::referenceDevice(libusb_device* device)
{
    std::lock_guard<std::mutex> locker(_heldMutex);
    libusb_device* result = _libUsb->refDevice(device);
    if (device)
        ++_references[device];
    return result;
}

void LibUsbInterface::unreferenceDevice(libusb_device* device)
{
    std::lock_guard<std::mutex> locker(_heldMutex);
    _libUsb->unrefDevice(device);
    auto it = _references.find(device);
    if (it != _references.end() && --it->second <= 0)
        _references.erase(it);
}

int LibUsbInterface::tryOpen(libusb_device* device, libusb_device_handle** handle)
{
    std::lock_guard<std::mutex> locker(_heldMutex);
    const int result = _libUsb->open(device, handle);
    if (result == 0 && handle && *handle) {
        _openHandles.insert(*handle);
        _closedHandles.erase(
            std::remove(_closedHandles.begin(), _closedHandles.end(), *handle), _closedHandles.end());
    }
    return result;
}

void LibUsbInterface::closeDevice(libusb_device_handle* handle)
{
    // Waits for an exchange under way (a monitor's poll among them) to end:
    // libusb must not close a handle that a transfer still uses.
    std::lock_guard<std::mutex> transfer(_transferMutex);
    std::lock_guard<std::mutex> locker(_heldMutex);
    _libUsb->close(handle);
    _openHandles.erase(handle);
    if (handle) {
        _closedHandles.push_back(handle);
        if (_closedHandles.size() > ClosedHandlesKept)
            _closedHandles.pop_front();
    }
}

bool LibUsbInterface::isClosed(libusb_device_handle* handle) const
{
    std::lock_guard<std::mutex> locker(_heldMutex);
    return std::find(_closedHandles.begin(), _closedHandles.end(), handle) != _closedHandles.end();
}

int LibUsbInterface::tryClaim(libusb_device_handle* handle)
{
    return _libUsb->claimInterface(handle, InterfaceNumber);
}

int LibUsbInterface::releaseClaim(libusb_device_handle* handle)
{
    // Not while an exchange on the interface is under way.
    std::lock_guard<std::mutex> transfer(_transferMutex);
    return _libUsb->releaseInterface(handle, InterfaceNumber);
}

int LibUsbInterface::heldDeviceCount() const
{
    std::lock_guard<std::mutex> locker(_heldMutex);
    return static_cast<int>(_references.size());
}

int LibUsbInterface::openHandleCount() const
{
    std::lock_guard<std::mutex> locker(_heldMutex);
    return static_cast<int>(_openHandles.size());
}

int LibUsbInterface::getReplyLength() const
{
    std::lock_guard<std::mutex> locker(_transferMutex);
    return _replyLength;
}

int LibUsbInterface::writeLocked(
    libusb_device_handle* handle, const unsigned char* data, int length, int endpoint, FailureLog log)
{
    _transferred = 0;
    const int result = _libUsb->bulkTransfer(handle, static_cast<unsigned char>(endpoint),
        const_cast<unsigned char*>(data), length, &_transferred, TransferTimeoutMs);
    const int status = mapUsbResult(handle, result, endpoint, log);
    if (status != core::ITF_OK)
        return status;
    if (_transferred != length) {
        // The box got part of a report, which it cannot act on.
        if (log == FailureLog::Logged)
            QM_USB_CRITICAL()
                << QStringLiteral("Libusb: Short write, %1 of %2 bytes").arg(_transferred).arg(length);
        return core::ITF_ERR_TRANSFER;
    }
    return core::ITF_OK;
}

int LibUsbInterface::readLocked(
    libusb_device_handle* handle, int endpoint, proto::UsbPacket* reply, FailureLog log)
{
    _transferred = 0;
    const int result = _libUsb->bulkTransfer(handle, static_cast<unsigned char>(endpoint | 0x80),
        _replyBuffer, ReportSize, &_transferred, TransferTimeoutMs);
    const int status = mapUsbResult(handle, result, endpoint | 0x80, log);
    if (status != core::ITF_OK)
        return status;
    if (_transferred != ReportSize) {
        // A short report is not padded with the bytes of an earlier one: the
        // caller would take them for a fresh answer.
        if (log == FailureLog::Logged)
            QM_USB_CRITICAL()
                << QStringLiteral("Libusb: Short reply, %1 of %2 bytes").arg(_transferred).arg(ReportSize);
        return core::ITF_ERR_PACKET_LENGTH;
    }
    _replyLength = _transferred;
    reply->initFromData(_replyBuffer, _replyLength);
    return core::ITF_OK;
}

int LibUsbInterface::transferLocked(libusb_device_handle* handle, const proto::UsbPacket* request,
    proto::UsbPacket* reply, FailureLog log, const SendingHook& sending, const RepliedHook& replied)
{
    const quint64 transfer = ++_transfers;
    if (!handle || isClosed(handle))
        return core::ITF_ERR_NO_DEVICE;
    // The report always goes out whole; bytes past the request's own size are zero,
    // never leftovers in the packet's buffer.
    unsigned char report[ReportSize] = {};
    std::memcpy(report, request->getData(), request->getDataSize());
    const int status = writeLocked(handle, report, ReportSize, EndpointOut, log);
    // A report that did not reach the device whole was never acted on: the
    // caller hears of it going out only when it may have (libusb may report a
    // failure after the last byte went).
    if (sending && (status == core::ITF_OK || _transferred == ReportSize))
        sending(transfer);
    if (status != core::ITF_OK)
        return status;
    const int read = readLocked(handle, EndpointIn, reply, log);
    if (read == core::ITF_OK && replied)
        replied();
    return read;
}

int LibUsbInterface::transferPacket(libusb_device_handle* handle, const proto::UsbPacket* request,
    proto::UsbPacket* reply, FailureLog log, const SendingHook& sending, const RepliedHook& replied)
{
    if (!handle)
        return core::ITF_ERR_NO_DEVICE;
    if (!request || !reply || request->getDataSize() > ReportSize)
        return core::ITF_ERR_INVALID_PARAM;
    std::lock_guard<std::mutex> locker(_transferMutex);
    return transferLocked(handle, request, reply, log, sending, replied);
}

int LibUsbInterface::transferPacket(const HandleSource& source, const proto::UsbPacket* request,
    proto::UsbPacket* reply, FailureLog log, const SendingHook& sending, const RepliedHook& replied)
{
    if (!request || !reply || request->getDataSize() > ReportSize)
        return core::ITF_ERR_INVALID_PARAM;
    std::lock_guard<std::mutex> locker(_transferMutex);
    return transferLocked(source ? source() : nullptr, request, reply, log, sending, replied);
}

int LibUsbInterface::endpointTransferPacket(libusb_device_handle* handle, const proto::UsbPacket* request,
    proto::UsbPacket* reply, int outEndpoint, int inEndpoint)
{
    if (!handle)
        return core::ITF_ERR_NO_DEVICE;
    if (!request || !reply)
        return core::ITF_ERR_INVALID_PARAM;
    std::lock_guard<std::mutex> locker(_transferMutex);
    if (isClosed(handle))
        return core::ITF_ERR_NO_DEVICE;
    const int status = writeLocked(
        handle, request->getData(), request->getDataSize(), outEndpoint & 0x7F, FailureLog::Logged);
    if (status != core::ITF_OK)
        return status;
    return readLocked(handle, inEndpoint, reply, FailureLog::Logged);
}

int LibUsbInterface::endpointWritePacket(
    libusb_device_handle* handle, const proto::UsbPacket* packet, int endpoint)
{
    if (!handle)
        return core::ITF_ERR_NO_DEVICE;
    if (!packet)
        return core::ITF_ERR_INVALID_PARAM;
    std::lock_guard<std::mutex> locker(_transferMutex);
    if (isClosed(handle))
        return core::ITF_ERR_NO_DEVICE;
    return writeLocked(handle, packet->getData(), packet->getDataSize(), endpoint & 0x7F, FailureLog::Logged);
}

int LibUsbInterface::handleUsbError(libusb_device_handle* handle, int result, int endpoint)
{
    // Its recovery (halt clearing, reset) waits for an exchange under way.
    std::lock_guard<std::mutex> locker(_transferMutex);
    if (isClosed(handle))
        return core::ITF_ERR_NO_DEVICE; // nothing to recover on a handle closed meanwhile
    return mapUsbResult(handle, result, endpoint, FailureLog::Logged);
}

int LibUsbInterface::mapUsbResult(libusb_device_handle* handle, int result, int endpoint, FailureLog log)
{
    const bool logged = log == FailureLog::Logged;
    switch (result) {
    case LIBUSB_SUCCESS:
        return core::ITF_OK;
    case LIBUSB_ERROR_PIPE: {
        QM_USB_FAILURE() << QStringLiteral("Libusb: Pipe error, trying to clear halt");
        const int cleared = _libUsb->clearHalt(handle, static_cast<unsigned char>(endpoint & 0xFF));
        if (cleared == 0) {
            QM_USB_FAILURE() << QStringLiteral("Libusb: Cleared halt");
        } else {
            QM_USB_FAILURE()
                << QStringLiteral("Libusb: Could not clear halt, trying to reset device: %1").arg(cleared);
            const int reset = _libUsb->resetDevice(handle);
            if (reset != 0)
                QM_USB_FAILURE() << QStringLiteral("Libusb: Could not reset device: %1").arg(reset);
        }
        // Even a cleared halt lost this exchange; the caller decides whether to send again.
        return core::ITF_ERR_PIPE;
    }
    case LIBUSB_ERROR_OVERFLOW:
        QM_USB_FAILURE() << QStringLiteral("Libusb: Overflow");
        return core::ITF_ERR_OVERFLOW;
    case LIBUSB_ERROR_TIMEOUT:
        QM_USB_FAILURE() << QStringLiteral("Libusb: Timeout");
        return core::ITF_ERR_TIMEOUT;
    case LIBUSB_ERROR_NOT_FOUND:
        QM_USB_FAILURE() << QStringLiteral("Libusb: Not found");
        return core::ITF_ERR_NOT_FOUND;
    case LIBUSB_ERROR_NO_DEVICE:
        QM_USB_FAILURE() << QStringLiteral("Libusb: No device");
        return core::ITF_ERR_NO_DEVICE;
    case LIBUSB_ERROR_ACCESS:
        QM_USB_FAILURE() << QStringLiteral("Libusb: Could not access device");
        return core::ITF_ERR_ACCESS;
    case LIBUSB_ERROR_INVALID_PARAM:
        QM_USB_FAILURE() << QStringLiteral("Libusb: Invalid parameter");
        return core::ITF_ERR_INVALID_PARAM;
    case LIBUSB_ERROR_IO:
        QM_USB_FAILURE() << QStringLiteral("Libusb: IO");
        return core::ITF_ERR_IO;
    default:
        QM_USB_FAILURE() << QStringLiteral("Libusb: Transfer failed");
        return core::ITF_ERR_TRANSFER;
    }
}

bool LibUsbInterface::clearHalt(libusb_device_handle* handle)
{
    // Waits for an exchange under way, as closeDevice does: a halt cleared
    // between another thread's request and its reply could lose that reply.
    std::lock_guard<std::mutex> locker(_transferMutex);
    const int result = isClosed(handle) ? LIBUSB_ERROR_NO_DEVICE : _libUsb->clearHalt(handle, 0);
    if (result < 0)
        QM_USB_CRITICAL() << QStringLiteral("Could not clear halt for endpoint: \"%1\"").arg(result);
    return result >= 0;
}

bool LibUsbInterface::resetDevice(libusb_device_handle* handle)
{
    // A reset drops what the device holds of an exchange (the reply waiting on
    // its IN endpoint): between another thread's request and its read, that
    // thread's reply would be lost and its read would find nothing. So it
    // waits for the exchange under way, and the next one starts clean.
    std::lock_guard<std::mutex> locker(_transferMutex);
    const int result = isClosed(handle) ? LIBUSB_ERROR_NO_DEVICE : _libUsb->resetDevice(handle);
    if (result == 0) {
        qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Successfully reset USB device");
        return true;
    }
    QM_USB_CRITICAL() << QStringLiteral("Could not reset USB device: \"%1\"").arg(result);
    return false;
}

#undef QM_USB_FAILURE
#undef QM_USB_CRITICAL

} // namespace tarvesk::itf
