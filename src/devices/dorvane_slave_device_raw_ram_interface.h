#pragma once

#include "core/parameters/raw_parameter_interface.h"
#include "interfaces/dmx/spi_interface.h"

#include <QPointer>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::devices {

// The RAM ("ram") of a slave module behind the Dorvane port, over SPI.
class DorvaneSlaveDeviceRawRamInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    // The SPI interface belongs to the universe and outlives this one.
    DorvaneSlaveDeviceRawRamInterface(core::Device* device, const QString& name, itf::SpiInterface* spi,
        itf::SpiDeviceType type, int index);

    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    QPointer<itf::SpiInterface> _spi;
    const itf::SpiDeviceType _type;
    const int _index;
};

} // namespace tarvesk::devices
