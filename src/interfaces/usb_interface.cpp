#include "interfaces/usb_interface.h"

namespace tarvesk::itf {

UsbInterface::UsbInterface()
    : core::NetworkInterface(core::ITF_TYPE_USB)
{ }

UsbInterface::~UsbInterface() = default;

} // namespace tarvesk::itf
