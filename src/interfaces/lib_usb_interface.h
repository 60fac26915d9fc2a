#pragma once

#include "interfaces/ilib_usb.h"
#include "interfaces/usb_interface.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace tarvesk::proto {
class UsbPacket;
}

namespace tarvesk::itf {

// The one USB transport: owns the libusb context and carries every exchange with
// a Vandrel interface, one 64-byte report out on endpoint 0x01 and one 64-byte
// report back from 0x81, under a transfer mutex so that request threads and the
// monitor threads never interleave their halves. libusb results become bus
// status codes here, with the recovery each failure calls for.
class LibUsbInterface : public UsbInterface
{
    Q_OBJECT

public:
    static constexpr int ReportSize = 64;
    static constexpr unsigned char EndpointOut = 0x01;
    static constexpr unsigned char EndpointIn = 0x81;
    static constexpr int InterfaceNumber = 0;
    static constexpr unsigned int TransferTimeoutMs = 1000;

    explicit LibUsbInterface(std::shared_ptr<ILibUsb> libUsb = defaultLibUsb());
    ~LibUsbInterface() override;

    // Initialises the library once; true when a context exists afterwards. A
    // failure is logged and leaves the interface uninitialised, so the next call
    // tries again.
    bool init();
    // Exits and re-initialises the library, but only while no device of it is
    // referenced or open: exiting would leave the handles of working devices and
    // their monitors dangling. Returns true when the library was re-initialised.
    bool reset();
    // The first half of reset, under the same condition; true when the context was closed.
    bool close();
    bool isInitialised() const;
    libusb_context* getContext() const;
    ILibUsb* getLibUsb() const { return _libUsb.get(); }

    // Wrappers that also keep count of what the devices hold of the context.
    libusb_device* referenceDevice(libusb_device* device);
    void unreferenceDevice(libusb_device* device);
    int tryOpen(libusb_device* device, libusb_device_handle** handle);
    // Both wait for an exchange under way to end: libusb must not release or
    // close what a transfer still uses.
    void closeDevice(libusb_device_handle* handle);
    int tryClaim(libusb_device_handle* handle);
    int releaseClaim(libusb_device_handle* handle);
    // Devices referenced and handles open through the wrappers above.
    int heldDeviceCount() const;
    int openHandleCount() const;

    // Whether a failed transfer writes its libusb line to the log: a caller that
    // retries a failing exchange again and again logs the failure once itself.
    enum class FailureLog { Logged, Quiet };
    using HandleSource = std::function<libusb_device_handle*()>;

    // Told, under the transfer mutex, once the request reached the device
    // whole (before its reply is read; never for a write that failed on its
    // way, which the device did not act on), the number of the transfer:
    // transfers are numbered from 1 in the order they go out, so a caller can
    // tell which of two exchanges came first.
    using SendingHook = std::function<void(quint64 transfer)>;
    // Told, under the transfer mutex, once a whole reply came (in the reply
    // packet), before any other exchange: what the device said of the
    // request (that it did not take it) is known before anything it reports
    // later.
    using RepliedHook = std::function<void()>;

    // One request report out, one reply report in. The reply packet is refilled
    // only when a whole 64-byte reply came; after any failure it keeps what it
    // held. A handle closed through closeDevice is refused ("no device").
    int transferPacket(libusb_device_handle* handle, const proto::UsbPacket* request, proto::UsbPacket* reply,
        FailureLog log = FailureLog::Logged, const SendingHook& sending = nullptr,
        const RepliedHook& replied = nullptr);
    // The same, with the handle asked of `source` under the transfer mutex,
    // which closeDevice takes too: a device that closes its handle meanwhile
    // gives null (or waits for this exchange to end), so no transfer ever runs
    // on a closed handle.
    int transferPacket(const HandleSource& source, const proto::UsbPacket* request, proto::UsbPacket* reply,
        FailureLog log = FailureLog::Logged, const SendingHook& sending = nullptr,
        const RepliedHook& replied = nullptr);
    // The same on caller-chosen endpoints; the request goes out with its own size.
    int endpointTransferPacket(libusb_device_handle* handle, const proto::UsbPacket* request,
        proto::UsbPacket* reply, int outEndpoint, int inEndpoint);
    int endpointWritePacket(libusb_device_handle* handle, const proto::UsbPacket* packet, int endpoint);
    // Byte count of the last reply copied into a reply packet.
    int getReplyLength() const;

    // Maps a libusb result to a bus status code, with its recovery (a stalled
    // endpoint is cleared, and the device reset when that fails). Not to be
    // called under the transfer mutex: it waits for it, as the two below do.
    int handleUsbError(libusb_device_handle* handle, int result, int endpoint);
    // They never land between another thread's request and its reply; a
    // handle closed through closeDevice is refused ("no device").
    bool clearHalt(libusb_device_handle* handle);
    bool resetDevice(libusb_device_handle* handle);

private:
    // Under _transferMutex: numbers the transfer, tells `sending` once the request reached the device.
    int transferLocked(libusb_device_handle* handle, const proto::UsbPacket* request, proto::UsbPacket* reply,
        FailureLog log, const SendingHook& sending, const RepliedHook& replied);
    int writeLocked(
        libusb_device_handle* handle, const unsigned char* data, int length, int endpoint, FailureLog log);
    int readLocked(libusb_device_handle* handle, int endpoint, proto::UsbPacket* reply, FailureLog log);
    int mapUsbResult(libusb_device_handle* handle, int result, int endpoint, FailureLog log);
    bool isClosed(libusb_device_handle* handle) const;
    bool exitLocked(const char* what);

    const std::shared_ptr<ILibUsb> _libUsb;
    libusb_context* _context = nullptr; // guarded by _transferMutex
    // Held for a whole exchange; also around libusb init and exit.
    mutable std::mutex _transferMutex;
    int _transferred = 0;                        // guarded by _transferMutex
    int _replyLength = 0;                        // guarded by _transferMutex
    unsigned char _replyBuffer[ReportSize] = {}; // guarded by _transferMutex
    bool _initialised = false;                   // guarded by _transferMutex
    quint64 _transfers = 0;                      // guarded by _transferMutex

    // Taken inside _transferMutex, never around it.
    mutable std::mutex _heldMutex;
    std::map<libusb_device*, int> _references;    // guarded by _heldMutex
    std::set<libusb_device_handle*> _openHandles; // guarded by _heldMutex
    // The latest handles closed through closeDevice and not opened again since.
    static constexpr size_t ClosedHandlesKept = 64;
    std::deque<libusb_device_handle*> _closedHandles; // guarded by _heldMutex
};

} // namespace tarvesk::itf
