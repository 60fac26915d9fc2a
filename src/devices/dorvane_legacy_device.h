#pragma once

#include "devices/dorvane_master_device.h"

#include <QPointer>

namespace tarvesk::itf {
class DorvaneInterface;
}

namespace tarvesk::devices {

// A legacy (first-generation) Dorvane driver: its identity sits in bytes 18
// (version), 31 (subversion), 96 (OEM) and 97 (product); old versions name the
// product by another number, and some products come as a single-channel variant.
class DorvaneLegacyDevice : public DorvaneMasterDevice
{
    Q_OBJECT

public:
    static constexpr unsigned ProductNumberAddress = 17;
    static constexpr unsigned VariantAddress = 16;
    static constexpr unsigned NumberedProductsBefore = 13;
    static constexpr uchar SingleChannelLocation = 132;
    static constexpr unsigned SingleChannelBit = 0x40;

    explicit DorvaneLegacyDevice(core::Universe* universe);

    void initializeInterfaces() override;
    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_DORVANE; }
    int productInterfaceType() const override { return core::DeviceInfoRecord::DORVANE; }
    bool getSpecialName(service::AbstractDatabase* database, QString& name) override;
    int readProductIdentifiers() override;
    unsigned getProductIdAddress() const override { return 97; }
    unsigned getVersionAddress() const override { return 18; }
    core::NetworkResolution getVersionResolution() const override { return core::ITF_RES_BYTE; }
    unsigned getSubversionAddress() const override { return 31; }
    unsigned getOemIdAddress() const override { return 96; }
    core::NetworkResolution getOemIdResolution() const override { return core::ITF_RES_BYTE; }
    bool checkSingleChannelOutput() const override;

private:
    QPointer<itf::DorvaneInterface> _dorvane; // the universe's
};

} // namespace tarvesk::devices
