#include "search/dorvane_search_result.h"

#include "devices/dorvane_device.h"
#include "devices/dorvane_legacy_device.h"

namespace tarvesk::search {

DorvaneSearchResult::DorvaneSearchResult(core::Universe* universe, bool current)
    : SearchResult(universe)
    , _current(current)
{ }

core::Device* DorvaneSearchResult::createDevice()
{
    if (_current)
        return new devices::DorvaneDevice(getUniverse());
    return new devices::DorvaneLegacyDevice(getUniverse());
}

} // namespace tarvesk::search
