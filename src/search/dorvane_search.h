#pragma once

#include "search/universe_searcher.h"

#include <memory>

namespace tarvesk::search {

class DorvaneMasterDeviceSearch;
class DorvaneSlaveDeviceSearch;

// The searcher of a Dorvane universe: the driver on the port ("dv1_host",
// "dv2_host", also when no protocol is named) and the slave modules behind it
// ("dv1_device", "dv2_device", on a box that can be Dorvane master).
class DorvaneSearch : public UniverseSearcher
{
    Q_OBJECT

public:
    explicit DorvaneSearch(core::Universe* universe);
    ~DorvaneSearch() override;

    int search(SearchOptions* options, SearchResults* results) override;

private:
    std::unique_ptr<DorvaneMasterDeviceSearch> _master;
    std::unique_ptr<DorvaneSlaveDeviceSearch> _slave;
};

} // namespace tarvesk::search
