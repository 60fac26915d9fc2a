#include "devices/dorvane_master_device.h"

#include "interfaces/dali_memory_bank_actions.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "universes/dali_universe.h"

namespace tarvesk::devices {

DorvaneMasterDevice::DorvaneMasterDevice(core::Universe* universe)
    : core::Device(universe)
{
    setConnectionStatus(CONNECTED);
    addCapability(CAP_DV1);
}

DorvaneMasterDevice::~DorvaneMasterDevice() = default;

void DorvaneMasterDevice::addDaliUniverse(bool corvalt)
{
    if (_daliUniverse)
        return;
    auto* dorvane = qobject_cast<itf::DorvaneInterface*>(getInterface());
    if (!dorvane)
        return;
    _dali = new itf::DorvaneDaliInterface(this, dorvane, corvalt);
    _daliUniverse = new universes::DaliUniverse(QStringLiteral("DALI"), _dali);
    addChildUniverse(_daliUniverse);
    itf::addActionsForDaliInterfaceToRepository(getActionRepository(), _dali->getDaliBridge());
}

std::shared_ptr<itf::IDali> DorvaneMasterDevice::getDaliInterface()
{
    return _dali ? _dali->getDaliBridge() : nullptr;
}

} // namespace tarvesk::devices
