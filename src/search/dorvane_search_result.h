#pragma once

#include "search/search_result.h"

namespace tarvesk::search {

// The one driver on a Dorvane port: a current driver or a legacy one.
class DorvaneSearchResult : public SearchResult
{
public:
    DorvaneSearchResult(core::Universe* universe, bool current);
    bool isCurrent() const { return _current; }
    // A DorvaneDevice for a current driver, else a DorvaneLegacyDevice.
    core::Device* createDevice() override;

private:
    bool _current;
};

} // namespace tarvesk::search
