#include "search/rdm_search_result.h"

#include "devices/dmx_bidir_device.h"

namespace tarvesk::search {

RdmSearchResult::RdmSearchResult(core::Universe* universe, QString uid)
    : SearchResult(universe)
    , _uid(std::move(uid))
{ }

unsigned int RdmSearchResult::getUID() const
{
    const int colon = _uid.indexOf(QLatin1Char(':'));
    bool ok = false;
    const unsigned int id = _uid.mid(colon + 1).toUInt(&ok, 16);
    return ok ? id : 0;
}

bool RdmSearchResult::isTarveskDevice() const
{
    return _uid.startsWith(QLatin1String("7e2b:"));
}

core::Device* RdmSearchResult::createDevice()
{
    return new devices::DmxBidirDevice(getUniverse(), _uid);
}

} // namespace tarvesk::search
