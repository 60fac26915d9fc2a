#include "search/usb_search_result.h"

#include "devices/lib_usb_device.h"
#include "devices/usb_device_factory.h"
#include "interfaces/lib_usb_interface.h"

namespace tarvesk::search {

UsbSearchResult::UsbSearchResult(core::Universe* universe, itf::LibUsbInterface* usb, libusb_device* device,
    unsigned short bcdDevice, devices::UsbDeviceFactory* factory)
    : SearchResult(universe)
    , _usb(usb)
    , _bcdDevice(bcdDevice)
    , _factory(factory)
{
    if (_usb && device && !(_factory && _factory->skipLibusbBinding()))
        _device = _usb->referenceDevice(device);
}

UsbSearchResult::~UsbSearchResult()
{
    if (_device)
        _usb->unreferenceDevice(_device);
}

core::Device* UsbSearchResult::createDevice()
{
    if (!_factory)
        return nullptr;
    core::Device* device = _factory->create(getUniverse(), _bcdDevice);
    if (device && !_factory->skipLibusbBinding()) {
        if (auto* usbDevice = dynamic_cast<devices::LibUsbDevice*>(device))
            usbDevice->setLibusbDevice(_device);
    }
    return device;
}

} // namespace tarvesk::search
