#include "universes/dorvane_universe.h"

#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"

namespace tarvesk::universes {

DorvaneUniverse::DorvaneUniverse(const QString& name, itf::DorvaneInterface* itf)
    : core::Universe(name, itf, nullptr)
{
    if (itf)
        addInterface(new itf::DorvaneDaliInterface(itf->getParentDevice(), itf, true));
}

} // namespace tarvesk::universes
