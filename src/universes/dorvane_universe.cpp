#include "universes/dorvane_universe.h"

#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "search/dorvane_search.h"

namespace tarvesk::universes {

DorvaneUniverse::DorvaneUniverse(const QString& name, itf::DorvaneInterface* itf)
    : core::Universe(name, itf, new search::DorvaneSearch(this))
{
    if (itf)
        addInterface(new itf::DorvaneDaliInterface(itf->getParentDevice(), itf, true));
}

} // namespace tarvesk::universes
