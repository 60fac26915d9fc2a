#include "devices/dorvane_slave_device.h"

#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "devices/dorvane_slave_device_raw_ee_interface.h"
#include "devices/dorvane_slave_device_raw_ram_interface.h"

namespace tarvesk::devices {

DorvaneSlaveDevice::DorvaneSlaveDevice(core::Universe* universe, itf::SpiDeviceType type, int index)
    : core::Device(universe)
    , _spi(universe ? qobject_cast<itf::SpiInterface*>(universe->getInterface(core::ITF_TYPE_SPI)) : nullptr)
    , _type(type)
    , _index(index)
{
    setDeviceClass(type == itf::SPI_DEVICE_TAG ? 2 : 1);
    setConnectionStatus(CONNECTED);
}

QString DorvaneSlaveDevice::getDeviceTypeName() const
{
    switch (getDeviceClass()) {
    case 1:
        return QStringLiteral("brisquel");
    case 2:
        return QStringLiteral("halvoran");
    default:
        return QStringLiteral("undefined");
    }
}

void DorvaneSlaveDevice::initializeInterfaces()
{
    if (getDeviceClass() == 1)
        addRawParameterInterface(
            new DorvaneSlaveDeviceRawRamInterface(this, QStringLiteral("ram"), _spi, _type, _index), true);
    addRawParameterInterface(
        new DorvaneSlaveDeviceRawEEInterface(this, QStringLiteral("ee"), _spi, _type, _index), false);
    setName(getDeviceClass() == 2 ? QStringLiteral("Tag") : QStringLiteral("Brisquel device"));
}

int DorvaneSlaveDevice::readProductIdentifiers()
{
    if (getDeviceClass() != 1 || !_spi)
        return 0;
    unsigned int word = 0;
    if (_spi->getRamParameter(core::ITF_RES_WORD, _type, _index, VersionWord, word) == 0) {
        setSubversion(word & 0xFF);
        setVersion((word >> 8) & 0xFF);
    }
    if (_spi->getRamParameter(core::ITF_RES_WORD, _type, _index, IdentityWord, word) == 0) {
        setProductId(word & 0xFF);
        setOemId((word >> 8) & 0xFF);
    }
    return 0;
}

int DorvaneSlaveDevice::profileSetPre()
{
    return _spi ? _spi->sendUnioCommand(UnioBeforeProfile, 0, 0) : core::ITF_ERR_NO_DEVICE;
}

int DorvaneSlaveDevice::profileSetPost(core::Step*)
{
    if (getDeviceClass() != 2)
        return 0;
    if (!_spi)
        return core::ITF_ERR_NO_DEVICE;
    core::IParameter* build = getParameterInterface(QStringLiteral("build_number"));
    core::IParameter* checksum = getParameterInterface(QStringLiteral("checksum_block_0"));
    if (!build || !checksum)
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    QVariant value;
    int status = build->getValue(value, core::IParameter::UPDATE_YES);
    if (status != 0)
        return status;
    status = build->setValue((value.toUInt() + 1) & 0xFF, core::IParameter::UPDATE_YES);
    if (status != 0)
        return status;
    unsigned int sum = 0;
    for (int address = ChecksumFirst; address <= ChecksumLast; ++address) {
        unsigned int word = 0;
        status = _spi->getEEParameter(core::ITF_RES_WORD, _type, address, word);
        if (status != 0)
            return status;
        sum += word;
    }
    return checksum->setValue(sum & 0xFF, core::IParameter::UPDATE_YES);
}

} // namespace tarvesk::devices
