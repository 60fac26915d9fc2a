#include "universes/dmx_universe.h"

#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/dmx/wystrel_dali_interface.h"
#include "search/dmx_search.h"

namespace tarvesk::universes {

DmxUniverse::DmxUniverse(const QString& name, itf::DmxInterface* itf)
    : core::Universe(name, itf, new search::DmxSearch(this))
{
    if (itf)
        addInterface(new itf::WystrelDaliInterface(itf->getParentDevice(), itf));
}

} // namespace tarvesk::universes
