#include "search/wystrel_search_result.h"

#include "devices/dmx_bidir_device.h"

namespace tarvesk::search {

WystrelSearchResult::WystrelSearchResult(core::Universe* universe, int uid, int lid, int skipCount)
    : SearchResult(universe)
    , _uid(uid)
    , _lid(lid)
    , _skipCount(skipCount)
{ }

core::Device* WystrelSearchResult::createDevice()
{
    return new devices::DmxBidirDevice(getUniverse(), _uid, _lid, _skipCount);
}

} // namespace tarvesk::search
