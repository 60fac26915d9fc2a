#pragma once

#include "core/network_interface.h"

namespace tarvesk::itf {

// A bus interface that is itself a USB connection; the base of the libusb transport.
class UsbInterface : public core::NetworkInterface
{
    Q_OBJECT

public:
    UsbInterface();
    ~UsbInterface() override;
};

} // namespace tarvesk::itf
