#pragma once

#include "core/parameters/raw_parameter_interface.h"
#include "interfaces/dmx/spi_interface.h"

#include <QPointer>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::devices {

// The EEPROM ("ee") of a slave module behind the Dorvane port. A Dorvane 2
// module keeps it behind a RAM mailbox (81 bank, 82 address, 84 data, 80 the
// command: 1 read, 3 write); a Dorvane 1 module takes writes through RAM 5
// (value), 2 (64) and 3 (address) and is read on UNI/O; a tag is written on
// UNI/O.
class DorvaneSlaveDeviceRawEEInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int MailboxCommand = 80;
    static constexpr int MailboxBank = 81;
    static constexpr int MailboxAddress = 82;
    static constexpr int MailboxData = 84;
    static constexpr unsigned MailboxRead = 1;
    static constexpr unsigned MailboxWrite = 3;
    static constexpr int Dv1Value = 5;
    static constexpr int Dv1Command = 2;
    static constexpr int Dv1Address = 3;
    static constexpr unsigned Dv1Write = 64;

    // The SPI interface belongs to the universe and outlives this one.
    DorvaneSlaveDeviceRawEEInterface(core::Device* device, const QString& name, itf::SpiInterface* spi,
        itf::SpiDeviceType type, int index);

    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    // -13 for a Dorvane 1 module and a width other than byte and word, -4 for
    // a module type without EEPROM writes; else the first failing step's status.
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

    int readDV2BrisquelEERamParam(unsigned int address, unsigned int& value);
    int writeDV2BrisquelEERamParam(unsigned int address, unsigned int value);
    // RAM 5 := value, RAM 2 := 64, RAM 3 := address, all at that width.
    int writeEERamParam(core::NetworkResolution resolution, unsigned int address, unsigned int value);

private:
    int setRamByte(int address, unsigned value);

    QPointer<itf::SpiInterface> _spi;
    const itf::SpiDeviceType _type;
    const int _index;
};

} // namespace tarvesk::devices
