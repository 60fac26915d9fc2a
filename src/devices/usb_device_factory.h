#pragma once

namespace tarvesk::core {
class Device;
class Universe;
} // namespace tarvesk::core

namespace tarvesk::devices {

// Builds the device object for a USB device found by its vendor and product id.
class UsbDeviceFactory
{
public:
    virtual ~UsbDeviceFactory() = default;

    // True when the devices of this factory are not bound to a libusb device.
    virtual bool skipLibusbBinding() const = 0;
    // A new device on the universe for the USB device release (bcdDevice);
    // a LibUsbDevice unless skipLibusbBinding(). The caller owns it.
    virtual core::Device* create(core::Universe* universe, unsigned short bcdDevice) = 0;
};

} // namespace tarvesk::devices
