#pragma once

#include "core/device.h"

#include <memory>

namespace tarvesk::devices {

class VirtualDaliInterface;

// A driver without hardware, made from a profile type so that a client can
// prepare and check parameter values before a driver is connected. Its memory
// is the sparse store of its "presmonde" raw interface; its DALI port answers
// every query with 0xFE. It keeps the profile type it was made from.
class VirtualDevice : public core::Device
{
    Q_OBJECT

public:
    static constexpr unsigned Version = 271;

    // The identity (OEM, product, device class) comes from the type's product
    // record; a null type leaves the device without parameters.
    VirtualDevice(core::Universe* universe, core::ProfileType* type);
    ~VirtualDevice() override;

    core::InterfaceType getInterfaceType() const override;
    int readProductIdentifiers() override { return 0; }
    bool keepsProfileType() const override { return true; }
    std::shared_ptr<itf::IDali> getDaliInterface() override;

private:
    std::shared_ptr<VirtualDaliInterface> _dali;
};

} // namespace tarvesk::devices
