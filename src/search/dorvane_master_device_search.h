#pragma once

#include "search/universe_searcher.h"

namespace tarvesk::itf {
class DorvaneInterface;
}

namespace tarvesk::search {

// Finds the one driver on a Dorvane port and tells a current driver (word 0
// at least 0xFE) from a legacy one (a non-zero byte at 0x12).
class DorvaneMasterDeviceSearch : public UniverseSearcher
{
    Q_OBJECT

public:
    static constexpr unsigned CurrentFrom = 0xFE;
    static constexpr int LegacyVersionAddress = 0x12;

    explicit DorvaneMasterDeviceSearch(core::Universe* universe);

    // Switches a port without a driver into the device role the protocols ask
    // for; always 0 (a failed read is logged).
    int search(SearchOptions* options, SearchResults* results) override;
    // Reads the driver's version as a current or a legacy driver; the read's status.
    int searchDorvaneType(
        itf::DorvaneInterface* dorvane, bool current, SearchOptions* options, SearchResults* results);
};

} // namespace tarvesk::search
