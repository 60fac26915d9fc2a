#include "devices/usb_device.h"

namespace tarvesk::devices {

UsbDevice::UsbDevice(core::Universe* universe)
    : core::Device(universe)
{ }

UsbDevice::~UsbDevice() = default;

} // namespace tarvesk::devices
