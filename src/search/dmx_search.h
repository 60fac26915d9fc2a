#pragma once

#include "search/universe_searcher.h"

namespace tarvesk::search {

// Finds the drivers of a DMX line by RDM discovery and then by the Wystrel
// search, into one result collection: a driver that answers both is listed
// once, as its RDM result. With no protocol asked, both run.
class DmxSearch : public UniverseSearcher
{
    Q_OBJECT

public:
    static constexpr int RdmRuns = 3;

    explicit DmxSearch(core::Universe* universe);
    ~DmxSearch() override;

    // 0 once the asked protocols have run, whatever they found; -13 when
    // neither RDM nor Wystrel was asked.
    int search(SearchOptions* options, SearchResults* results) override;
};

} // namespace tarvesk::search
