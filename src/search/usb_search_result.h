#pragma once

#include "search/search_result.h"

struct libusb_device;

namespace tarvesk::devices {
class UsbDeviceFactory;
}

namespace tarvesk::itf {
class LibUsbInterface;
}

namespace tarvesk::search {

// A USB device with registered ids. Unless its factory skips the binding, the
// result holds its own libusb reference on the device from the listing until
// it is destroyed, so that the device outlives the freed list; the device
// object it creates takes a reference of its own.
class UsbSearchResult : public SearchResult
{
public:
    // The factory is not owned (the search options own it).
    UsbSearchResult(core::Universe* universe, itf::LibUsbInterface* usb, libusb_device* device,
        unsigned short bcdDevice, devices::UsbDeviceFactory* factory);
    ~UsbSearchResult() override;

    libusb_device* getLibUsbDevice() const { return _device; }
    unsigned short getBcdDevice() const { return _bcdDevice; }
    // Null without a factory.
    core::Device* createDevice() override;

private:
    itf::LibUsbInterface* _usb;       // the universe's transport
    libusb_device* _device = nullptr; // one reference held
    unsigned short _bcdDevice;
    devices::UsbDeviceFactory* _factory; // owned by the search options
};

} // namespace tarvesk::search
