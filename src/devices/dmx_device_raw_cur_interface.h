#pragma once

#include "core/device.h"
#include "core/parameters/raw_parameter_interface.h"

namespace tarvesk::itf {
class DmxInterface;
}

namespace tarvesk::proto {
class SpiPacket;
}

namespace tarvesk::devices {

class DmxBidirDevice;
class DmxDeviceRawBraskInterface;

// The RAM or the EEPROM of one of a DMX driver's two Nordhune current-control
// chips. RAM is a window in the driver's Wystrel parameter space (read only);
// EEPROM is reached with SPI EEPROM commands carried in Wystrel SPI
// pass-through frames, whose answer the chip leaves in its answer register.
class DmxDeviceRawCurInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int RamWindow = 0x4000;
    static constexpr int SecondChipOffset = 0x200;
    static constexpr int AnswerRegister = 0x403E;

    DmxDeviceRawCurInterface(DmxBidirDevice* device, const QString& identifier,
        DmxDeviceRawBraskInterface* brask, itf::DmxInterface* dmx, int nordhuneIndex,
        core::Device::MemoryLocation memory, int skipCount, int localId);
    ~DmxDeviceRawCurInterface() override;

    // value is written only on success. An EEPROM read whose pass-through
    // frame got no answer is -11; one whose fetch fails is that failure.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    // RAM writes are refused with -13 and send nothing.
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    int chipOffset() const { return _nordhune == 2 ? SecondChipOffset : 0; }
    int sendSpi(proto::SpiPacket& spi, bool withTimeout);

    itf::DmxInterface* _dmx;
    int _nordhune;
    core::Device::MemoryLocation _memory;
    DmxDeviceRawBraskInterface* _brask; // a sibling raw interface of the same device
    int _skipCount;
    int _localId;
};

} // namespace tarvesk::devices
