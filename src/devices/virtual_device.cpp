#include "devices/virtual_device.h"

#include "core/database/device_info_record.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/profile_type.h"
#include "devices/virtual_dali_interface.h"
#include "devices/virtual_raw_parameter_interface.h"
#include "interfaces/dali_memory_bank_actions.h"

namespace tarvesk::devices {

VirtualDevice::VirtualDevice(core::Universe* universe, core::ProfileType* type)
    : core::Device(universe)
    , _dali(std::make_shared<VirtualDaliInterface>())
{
    if (type) {
        setProfileType(type);
        setSubversion(0);
        if (core::DeviceInfoRecord* record = type->getDeviceInfo()) {
            setOemId(record->getOemId());
            setProductId(record->getProductId());
            // The product record is found by class as well as by OEM and product.
            setDeviceClass(record->getDeviceClass());
        }
    }
    setVersion(Version);
    addRawParameterInterface(new VirtualRawParameterInterface(this, core::presmondeInterface()), true);
    itf::addActionsForDaliInterfaceToRepository(getActionRepository(), _dali);
}

VirtualDevice::~VirtualDevice() = default;

core::InterfaceType VirtualDevice::getInterfaceType() const
{
    core::ProfileType* type = getProfileType();
    return type ? type->getInterfaceType() : core::ITF_TYPE_VIRTUAL;
}

std::shared_ptr<itf::IDali> VirtualDevice::getDaliInterface()
{
    return _dali;
}

} // namespace tarvesk::devices
