#include "universes/usb_universe.h"

#include "search/lib_usb_search.h"

namespace tarvesk::universes {

UsbUniverse::UsbUniverse(const QString& name, core::NetworkInterface* itf)
    : core::Universe(name, itf, new search::LibUsbSearch(this))
{
    setImmortality(true);
}

} // namespace tarvesk::universes
