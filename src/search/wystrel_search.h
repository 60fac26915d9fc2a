#pragma once

#include "search/universe_searcher.h"

namespace tarvesk::search {

// Asks the Wystrel drivers of a DMX line for their UID: the one at skip count
// 0 and, when sub-devices are wanted, those behind it at skip counts 1, 2, ...
// until one does not answer.
class WystrelSearch : public UniverseSearcher
{
    Q_OBJECT

public:
    static constexpr int MaxSkipCount = 254;

    explicit WystrelSearch(core::Universe* universe);
    ~WystrelSearch() override;

    // Always 0: a bad or missing answer ends the series, keeping what was found.
    int search(SearchOptions* options, SearchResults* results) override;
    // true when a driver answered (a result is then appended).
    bool checkDevice(int localId, int skipCount, SearchResults* results);

    static int answerTimeoutFor(int skipCount) { return 113 * skipCount + 6006; }
};

} // namespace tarvesk::search
