#pragma once

#include "core/device.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QPointer>

namespace tarvesk::devices {

class DorvaneLegacyDeviceRawBraskInterface;

// The RAM or EEPROM of a current-control chip of a legacy Dorvane driver,
// reached through a mailbox in the driver's parameter space: the chip address
// in register 112, the data in 114 (16-bit data travel byte-swapped), the
// command and status in 116.
class DorvaneLegacyDeviceRawCurInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int AddressRegister = 112;
    static constexpr int DataRegister = 114;
    static constexpr int CommandRegister = 116;
    static constexpr unsigned ReadRam = 0x01;
    static constexpr unsigned ReadEeprom = 0x41;
    static constexpr unsigned Write = 0xC1;
    static constexpr unsigned Busy = 0x04;
    static constexpr unsigned DataReady = 0x02;
    static constexpr int StatusReads = 10;
    static constexpr int Attempts = 3;
    static constexpr int ChipOffset = 0x200;

    // The Brask interface belongs to the same device.
    DorvaneLegacyDeviceRawCurInterface(core::Device* device, const QString& name,
        DorvaneLegacyDeviceRawBraskInterface* brask, int index, core::Device::MemoryLocation memory);

    static unsigned byteSwap(unsigned value) { return ((value & 0xFF) << 8) | ((value >> 8) & 0xFF); }

    // ITF_ERR_TIMEOUT when the chip never reports data ready; a byte is the
    // low byte of the data register.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    int readOnce(core::NetworkResolution resolution, int address, unsigned int& value);

    QPointer<DorvaneLegacyDeviceRawBraskInterface> _brask;
    const int _chip; // 0 or 1
    const core::Device::MemoryLocation _memory;
};

} // namespace tarvesk::devices
