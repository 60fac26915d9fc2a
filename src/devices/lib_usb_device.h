#pragma once

#include "devices/usb_device.h"

#include <atomic>

struct libusb_device;
struct libusb_device_handle;

namespace tarvesk::itf {
class LibUsbInterface;
}

namespace tarvesk::devices {

// A USB device reached through libusb: bound to a listed libusb device, opened,
// freed of a kernel driver, interface 0 claimed, its product and manufacturer
// strings read; released and closed again on disconnect. The transfers go
// through the universe's libusb transport, which is the device's own interface.
//
// The device holds one libusb reference from setLibusbDevice until it is
// destroyed, and its handle from connect until disconnect.
class LibUsbDevice : public UsbDevice
{
    Q_OBJECT

public:
    // A string descriptor read is tried this often, and each waits at most this long.
    static constexpr int StringAttempts = 3;
    static constexpr unsigned int StringTimeoutMs = 1000;

    explicit LibUsbDevice(core::Universe* universe);
    ~LibUsbDevice() override;

    static QString getErrorString(int status);

    // Takes a reference on the device; one bound before is released.
    void setLibusbDevice(libusb_device* device);
    libusb_device* getDevice() const { return _device; }
    // Null while closed. Read by the monitor thread, hence atomic.
    libusb_device_handle* getDeviceHandle() const { return _handle.load(); }
    itf::LibUsbInterface* getLibUsbInterface() const;

    int tryOpen(libusb_device* device);
    int tryClaim(libusb_device_handle* handle);
    // 0 with the text, or -3 after the attempts failed.
    int getDeviceString(int index, QString& text);
    bool exists() const;
    bool isOpen() const override { return getDeviceHandle() != nullptr; }

    int init() override;
    bool deviceConnect() override;
    bool deviceDisconnect() override;

private:
    // Releases and closes the handle; no-op without one.
    void closeHandle();

    libusb_device* _device = nullptr;                     // one reference held
    std::atomic<libusb_device_handle*> _handle {nullptr}; // written on the request thread only
    unsigned int _vendorId = 0;
    unsigned int _usbProductId = 0;
};

} // namespace tarvesk::devices
