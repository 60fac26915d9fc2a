#include "devices/dorvane_slave_device_raw_ram_interface.h"

#include "core/device.h"
#include "core/itf_error.h"

namespace tarvesk::devices {

DorvaneSlaveDeviceRawRamInterface::DorvaneSlaveDeviceRawRamInterface(
    core::Device* device, const QString& name, itf::SpiInterface* spi, itf::SpiDeviceType type, int index)
    : core::RawParameterInterface(device, name)
    , _spi(spi)
    , _type(type)
    , _index(index)
{ }

int DorvaneSlaveDeviceRawRamInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    return _spi ? _spi->getRamParameter(resolution, _type, _index, address, value) : core::ITF_ERR_NO_DEVICE;
}

int DorvaneSlaveDeviceRawRamInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    return _spi ? _spi->setRamParameter(resolution, _type, _index, address, int(value))
                : core::ITF_ERR_NO_DEVICE;
}

} // namespace tarvesk::devices
