#pragma once

#include "core/device.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"

#include <QPointer>

namespace tarvesk::devices {

// A driver on the Dorvane port that can carry DALI inside Dorvane frames. Its
// DALI side, once added, is a child universe "DALI" over a Dorvane DALI
// interface (the universe owns the interface).
class DorvaneMasterDevice : public core::Device
{
    Q_OBJECT

public:
    explicit DorvaneMasterDevice(core::Universe* universe);
    ~DorvaneMasterDevice() override;

    std::shared_ptr<itf::IDali> getDaliInterface() override;
    itf::DorvaneDaliInterface* getLegacyDaliInterface() const { return _dali; }
    core::Universe* getDaliUniverse() const { return _daliUniverse; }
    virtual bool checkSingleChannelOutput() const { return false; }

protected:
    // corvalt: the driver addresses its groups itself.
    void addDaliUniverse(bool corvalt);

private:
    QPointer<itf::DorvaneDaliInterface> _dali; // owned by the DALI universe
    QPointer<core::Universe> _daliUniverse;    // a child universe
};

} // namespace tarvesk::devices
