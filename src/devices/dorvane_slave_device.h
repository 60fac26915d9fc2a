#pragma once

#include "core/device.h"
#include "interfaces/dmx/spi_interface.h"

#include <QPointer>

namespace tarvesk::devices {

// A logic module behind the Dorvane port, reached over SPI with the box as
// its master: a Brisquel module (device class 1, with RAM and EEPROM) or a tag
// (device class 2, EEPROM only).
class DorvaneSlaveDevice : public core::Device
{
    Q_OBJECT

public:
    static constexpr int IdentityWord = 28; // product (low), OEM (high)
    static constexpr int VersionWord = 30;  // subversion (low), version (high)
    static constexpr int UnioBeforeProfile = 109;
    static constexpr int ChecksumFirst = 1;
    static constexpr int ChecksumLast = 31;

    DorvaneSlaveDevice(core::Universe* universe, itf::SpiDeviceType type, int index);

    void initializeInterfaces() override;
    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_SPI; }
    int productInterfaceType() const override { return core::DeviceInfoRecord::SPI; }
    // Device class 1: the identity words of the RAM, each kept only when read. Always 0.
    int readProductIdentifiers() override;
    int profileSetPre() override;
    int profileSetPost(core::Step* step) override;

    itf::SpiInterface* getSpiInterface() const { return _spi; }
    QString getDeviceTypeName() const;

private:
    QPointer<itf::SpiInterface> _spi; // the universe's
    const itf::SpiDeviceType _type;
    const int _index;
};

} // namespace tarvesk::devices
