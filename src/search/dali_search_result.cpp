#include "search/dali_search_result.h"

#include "devices/dali_device.h"

namespace tarvesk::search {

DaliSearchResult::DaliSearchResult(core::Universe* universe, int address)
    : SearchResult(universe)
    , _address(address)
{ }

core::Device* DaliSearchResult::createDevice()
{
    return new devices::DaliDevice(getUniverse(), static_cast<unsigned char>(_address & 0xFF), false);
}

} // namespace tarvesk::search
