#include "universes/dmx_universe.h"

#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/dmx/wystrel_dali_interface.h"

namespace tarvesk::universes {

DmxUniverse::DmxUniverse(const QString& name, itf::DmxInterface* itf)
    : core::Universe(name, itf, nullptr)
{
    if (itf)
        addInterface(new itf::WystrelDaliInterface(itf->getParentDevice(), itf));
}

} // namespace tarvesk::universes
