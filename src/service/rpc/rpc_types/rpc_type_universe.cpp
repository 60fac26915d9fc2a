#include "service/rpc/rpc_types/rpc_type_universe.h"

#include "core/device.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

core::Device* RpcTypeUniverse::parentDevice(core::Universe* universe)
{
    if (!universe)
        return nullptr;
    // Asked by type, not through getInterface(default), which logs a missing one as critical.
    const core::InterfaceType type = universe->getDefaultInterfaceType();
    core::NetworkInterface* itf = type == core::ITF_TYPE_UNKNOWN ? nullptr : universe->getInterface(type);
    return itf ? itf->getParentDevice() : nullptr;
}

RpcTypeUniverse::RpcTypeUniverse(core::Universe* universe)
{
    core::Device* parent = parentDevice(universe);
    const core::InterfaceType type = universe->getDefaultInterfaceType();
    core::NetworkInterface* itf = type == core::ITF_TYPE_UNKNOWN ? nullptr : universe->getInterface(type);
    addChild(QStringLiteral("universe_id"), new RpcValue(universe->getId()));
    addChild(QStringLiteral("parent_device_id"),
        new RpcValue(parent ? QString::number(parent->getId()) : QString()));
    addChild(QStringLiteral("universe_name"), new RpcValue(universe->getName()));
    addChild(QStringLiteral("interface_type"), new RpcValue(itf ? itf->getInterfaceTypeString() : QString()));
    addChild(QStringLiteral("parent_device_name"), new RpcValue(parent ? parent->getName() : QString()));
}

} // namespace tarvesk::service
