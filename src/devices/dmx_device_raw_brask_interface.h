#pragma once

#include "core/parameters/raw_parameter_interface.h"

namespace tarvesk::proto {
class WystrelPacket;
}

namespace tarvesk::itf {
class DmxInterface;
}

namespace tarvesk::devices {

class DmxBidirDevice;

// The Wystrel parameter space of a driver on a DMX line: an address is a
// 16-bit parameter number, read with a READ frame and written with a WRITE
// frame to the driver's local id and skip count. It is the device's main raw
// interface ("presmonde"), so the product identity is read through it.
class DmxDeviceRawBraskInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int ReadAttempts = 5;

    // The device owns the interface; its local id and skip count are read at
    // every access.
    DmxDeviceRawBraskInterface(DmxBidirDevice* device, const QString& identifier);
    ~DmxDeviceRawBraskInterface() override;

    // 0 with the value (8 or 16 bits by the resolution); -14 when the driver
    // flags the parameter; a check code (-19..-22) or -11 when five attempts
    // brought no valid answer. value is written only on success.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    // The low 16 bits of the value. 0, -14 when the driver flags it, -11 without answer.
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

    // The answer time of a Wystrel exchange with the driver at that skip count.
    static int answerTimeoutFor(int skipCount) { return skipCount * 113 + 6006; }

private:
    int exchange(proto::WystrelPacket& frame, proto::WystrelPacket* answer, bool& timeoutEvent);

    DmxBidirDevice* _device;
    itf::DmxInterface* _dmx;
};

} // namespace tarvesk::devices
