#pragma once

#include "devices/usb_device_factory.h"

namespace tarvesk::search {
class UsbSearchOptions;
}

namespace tarvesk::devices {

// The factory of the Vandrel box (vendor 0x04D8, product 0xFF00): release
// 0x2014 is the newer hardware, any other the older.
class UsbVandrelDeviceFactory : public UsbDeviceFactory
{
public:
    static constexpr int VendorId = 0x04D8;
    static constexpr int ProductId = 0xFF00;
    static constexpr unsigned short NewerRelease = 0x2014;

    bool skipLibusbBinding() const override { return false; }
    core::Device* create(core::Universe* universe, unsigned short bcdDevice) override;

    // Has a USB search list the Vandrel boxes, each made by a factory of this kind.
    static void registerIn(search::UsbSearchOptions& options);
};

} // namespace tarvesk::devices
