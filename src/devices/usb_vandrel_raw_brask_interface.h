#pragma once

#include "core/parameters/raw_parameter_interface.h"

namespace tarvesk::itf {
class LibUsbInterface;
}

namespace tarvesk::devices {

class UsbVandrelDevice;

// The registers of the Vandrel box's firmware, read and written with the
// parameter commands over USB ("presmonde", the box's main raw interface).
// Holds the transport's interface lock for a whole exchange.
class UsbVandrelRawBraskInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int Attempts = 3;
    // A version register above this is implausible (logged, still returned).
    static constexpr unsigned int VersionLimit = 10000;

    UsbVandrelRawBraskInterface(UsbVandrelDevice* device, const QString& name, itf::LibUsbInterface* usb);

    // 0, the last transfer status after the attempts, or -13 when the box
    // calls the register unsupported.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    // Writes the low 16 bits whatever the width.
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    int exchange(const unsigned char* request, unsigned char* reply);

    UsbVandrelDevice* _device; // the parent
    itf::LibUsbInterface* _usb;
};

} // namespace tarvesk::devices
