#pragma once

#include "core/device.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QPointer>

namespace tarvesk::devices {

class DorvaneDeviceRawBraskInterface;

// The RAM or EEPROM of one of the two current-control chips of a current
// Dorvane driver, a window of its parameter space: RAM from 0x4000, the second
// chip 0x200 further.
class DorvaneDeviceRawCurInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int RamOffset = 0x4000;
    static constexpr int ChipOffset = 0x200;

    // The Brask interface belongs to the same device.
    DorvaneDeviceRawCurInterface(core::Device* device, const QString& name,
        DorvaneDeviceRawBraskInterface* brask, int index, core::Device::MemoryLocation memory);

    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;
    // The address in the driver's parameter space.
    int braskAddress(int address) const;

private:
    QPointer<DorvaneDeviceRawBraskInterface> _brask;
    const int _index;
    const core::Device::MemoryLocation _memory;
};

} // namespace tarvesk::devices
