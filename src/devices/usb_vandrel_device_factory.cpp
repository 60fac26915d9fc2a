#include "devices/usb_vandrel_device_factory.h"

#include "devices/usb_vandrel_18_10_device.h"
#include "devices/usb_vandrel_20_14_device.h"
#include "search/usb_search_options.h"

namespace tarvesk::devices {

core::Device* UsbVandrelDeviceFactory::create(core::Universe* universe, unsigned short bcdDevice)
{
    if (bcdDevice == NewerRelease)
        return new UsbVandrel20_14Device(universe);
    return new UsbVandrel18_10Device(universe);
}

void UsbVandrelDeviceFactory::registerIn(search::UsbSearchOptions& options)
{
    options.registerVidPid(VendorId, ProductId, new UsbVandrelDeviceFactory);
}

} // namespace tarvesk::devices
