#include "universes/virtual_universe.h"

#include "interfaces/virtual_interface.h"

namespace tarvesk::universes {

VirtualUniverse::VirtualUniverse(const QString& name, itf::VirtualInterface* itf)
    : core::Universe(name, itf, nullptr)
{ }

} // namespace tarvesk::universes
