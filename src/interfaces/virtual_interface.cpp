#include "interfaces/virtual_interface.h"

#include "core/itf_error.h"

namespace tarvesk::itf {

VirtualInterface::VirtualInterface(core::Device* device)
    : core::NetworkInterface(device, core::ITF_TYPE_VIRTUAL)
{ }

VirtualInterface::~VirtualInterface() = default;

int VirtualInterface::sendSetpoint(const QList<int>&, core::NetworkResolution, int)
{
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

} // namespace tarvesk::itf
