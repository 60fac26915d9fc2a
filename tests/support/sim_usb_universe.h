#pragma once

#include "sim_lib_usb.h"

#include <memory>
#include <vector>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {
class LibUsbInterface;
}

namespace tarvesk::service {
class AbstractDatabase;
}

namespace tarvesk::universes {
class UsbUniverse;
}

namespace tarvesk::test {

// The universe "USB" on a simulated libusb, in the universe manager, the way
// the service builds it. The destructor removes it (and every device on it) and
// reports libusb rule violations and references or handles left behind.
class SimUsbUniverse
{
public:
    explicit SimUsbUniverse(std::shared_ptr<sim::SimLibUsb> libUsb = std::make_shared<sim::SimLibUsb>());
    ~SimUsbUniverse();

    SimUsbUniverse(const SimUsbUniverse&) = delete;
    SimUsbUniverse& operator=(const SimUsbUniverse&) = delete;

    // Lists the boxes with the Vandrel factory and turns the listed one at that
    // index into its device as a search does (identity, then init, whose
    // status goes to initStatus); the device is not added to the universe.
    std::unique_ptr<core::Device> createDevice(
        int index = 0, service::AbstractDatabase* database = nullptr, int* initStatus = nullptr);

    std::shared_ptr<sim::SimLibUsb> libUsb;
    universes::UsbUniverse* universe = nullptr; // owned by the universe manager
    itf::LibUsbInterface* transport = nullptr;  // owned by the universe
};

} // namespace tarvesk::test
