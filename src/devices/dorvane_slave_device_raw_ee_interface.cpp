#include "devices/dorvane_slave_device_raw_ee_interface.h"

#include "core/device.h"
#include "core/itf_error.h"

namespace tarvesk::devices {

DorvaneSlaveDeviceRawEEInterface::DorvaneSlaveDeviceRawEEInterface(
    core::Device* device, const QString& name, itf::SpiInterface* spi, itf::SpiDeviceType type, int index)
    : core::RawParameterInterface(device, name)
    , _spi(spi)
    , _type(type)
    , _index(index)
{ }

int DorvaneSlaveDeviceRawEEInterface::setRamByte(int address, unsigned value)
{
    return _spi->setRamParameter(core::ITF_RES_BYTE, _type, _index, address, int(value & 0xFF));
}

int DorvaneSlaveDeviceRawEEInterface::readDV2BrisquelEERamParam(unsigned int address, unsigned int& value)
{
    if (!_spi)
        return core::ITF_ERR_NO_DEVICE;
    int status = setRamByte(MailboxBank, 0);
    if (status == 0)
        status = setRamByte(MailboxAddress, address);
    if (status == 0)
        status = setRamByte(MailboxCommand, MailboxRead);
    if (status == 0)
        status = _spi->getRamParameter(core::ITF_RES_BYTE, _type, _index, MailboxData, value);
    return status;
}

int DorvaneSlaveDeviceRawEEInterface::writeDV2BrisquelEERamParam(unsigned int address, unsigned int value)
{
    if (!_spi)
        return core::ITF_ERR_NO_DEVICE;
    // Every step counts: a write that did not reach the data or the command did not happen.
    int status = setRamByte(MailboxBank, 0);
    if (status == 0)
        status = setRamByte(MailboxAddress, address);
    if (status == 0)
        status = setRamByte(MailboxData, value);
    if (status == 0)
        status = setRamByte(MailboxCommand, MailboxWrite);
    return status;
}

int DorvaneSlaveDeviceRawEEInterface::writeEERamParam(
    core::NetworkResolution resolution, unsigned int address, unsigned int value)
{
    if (!_spi)
        return core::ITF_ERR_NO_DEVICE;
    int status = _spi->setRamParameter(resolution, _type, _index, Dv1Value, int(value));
    if (status == 0)
        status = _spi->setRamParameter(resolution, _type, _index, Dv1Command, int(Dv1Write));
    if (status == 0)
        status = _spi->setRamParameter(resolution, _type, _index, Dv1Address, int(address));
    return status;
}

int DorvaneSlaveDeviceRawEEInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (!_spi)
        return core::ITF_ERR_NO_DEVICE;
    if (_type == itf::SPI_DEVICE_DV2)
        return readDV2BrisquelEERamParam(unsigned(address), value);
    return _spi->getEEParameter(resolution, _type, address, value);
}

int DorvaneSlaveDeviceRawEEInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (!_spi)
        return core::ITF_ERR_NO_DEVICE;
    switch (_type) {
    case itf::SPI_DEVICE_TAG:
        return _spi->setEEParameter(resolution, itf::SPI_DEVICE_TAG, address, int(value));
    case itf::SPI_DEVICE_DV2:
        return writeDV2BrisquelEERamParam(unsigned(address), value);
    case itf::SPI_DEVICE_DV1:
        if (resolution == core::ITF_RES_BYTE)
            return writeEERamParam(core::ITF_RES_BYTE, unsigned(address), value & 0xFF);
        if (resolution == core::ITF_RES_WORD) {
            // The high byte sits at the lower address.
            const int status = writeEERamParam(core::ITF_RES_BYTE, unsigned(address), (value >> 8) & 0xFF);
            return status != 0 ? status
                               : writeEERamParam(core::ITF_RES_BYTE, unsigned(address + 1), value & 0xFF);
        }
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }
    return core::ITF_ERR_NOT_FOUND;
}

} // namespace tarvesk::devices
