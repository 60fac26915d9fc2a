#pragma once

#include "devices/dorvane_master_device.h"

namespace tarvesk::devices {

// A current (second-generation) Dorvane driver: firmware, datastore and form
// factor; its identity moved in version 270. A product with neither 10 V nor
// DMX input gets a DALI universe with the virtual DALI gear that answer.
class DorvaneDevice : public DorvaneMasterDevice
{
    Q_OBJECT

public:
    static constexpr unsigned IdentityMovedVersion = 270;
    static constexpr unsigned ConfigurationAddress = 0x3FE6;
    static constexpr unsigned LightShapeBit = 0x20;
    static constexpr unsigned char DaliQueryStatus = 0x91; // 145
    static constexpr unsigned char DaliBroadcastQuery = 0xFF;
    static constexpr int VirtualDaliDevices = 4;
    static constexpr int BootloaderStartTimeoutMs = 3000;

    explicit DorvaneDevice(core::Universe* universe);

    void initializeInterfaces() override;
    void finalizeDevice() override;
    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_DORVANE; }
    int productInterfaceType() const override { return core::DeviceInfoRecord::DORVANE_WY; }
    unsigned getProductIdAddress() const override;
    unsigned getVersionAddress() const override { return 0; }
    core::NetworkResolution getVersionResolution() const override { return core::ITF_RES_WORD; }
    bool hasSubversion() const override { return false; }
    unsigned getOemIdAddress() const override;
    core::NetworkResolution getOemIdResolution() const override { return core::ITF_RES_WORD; }
    unsigned getFormFactorAddress() const override { return 0x3FE3; }
    // After a profile or a parameter list: the driver restarts through its
    // bootloader into its application, so that it takes the new values, and
    // its DALI side is woken again. Each stage is a child step of `step`.
    int profileSetPost(core::Step* step) override;

private:
    bool hasDaliModuleCheck() const { return getVersion() >= IdentityMovedVersion; }
    // Query 145 to the address byte; 0 only with an answer.
    int queryStatus(unsigned char address);
    void addVirtualDaliDevice(int index);
};

} // namespace tarvesk::devices
