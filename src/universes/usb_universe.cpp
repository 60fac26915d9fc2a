#include "universes/usb_universe.h"

namespace tarvesk::universes {

UsbUniverse::UsbUniverse(const QString& name, core::NetworkInterface* itf, search::UniverseSearcher* searcher)
    : core::Universe(name, itf, searcher)
{
    setImmortality(true);
}

} // namespace tarvesk::universes
