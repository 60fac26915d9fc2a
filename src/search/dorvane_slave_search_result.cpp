#include "search/dorvane_slave_search_result.h"

#include "devices/dorvane_slave_device.h"

namespace tarvesk::search {

DorvaneSlaveSearchResult::DorvaneSlaveSearchResult(
    core::Universe* universe, itf::SpiDeviceType type, int index)
    : SearchResult(universe)
    , _type(type)
    , _index(index)
{ }

core::Device* DorvaneSlaveSearchResult::createDevice()
{
    return new devices::DorvaneSlaveDevice(getUniverse(), _type, _index);
}

} // namespace tarvesk::search
