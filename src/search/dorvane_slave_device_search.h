#pragma once

#include "search/universe_searcher.h"

namespace tarvesk::search {

// Finds the slave modules that the box reaches over SPI as Dorvane host:
// second-generation modules at indices 1 to 8, else one first-generation module.
class DorvaneSlaveDeviceSearch : public UniverseSearcher
{
    Q_OBJECT

public:
    static constexpr int FirstIndex = 1;
    static constexpr int LastIndex = 8;
    static constexpr int ProbeRegister = 0x1C;
    static constexpr int ModeSettleMs = 100;

    explicit DorvaneSlaveDeviceSearch(core::Universe* universe);

    // 0, or the status of a refused change of the box's Dorvane mode (the
    // modules would be asked in the wrong mode).
    int search(SearchOptions* options, SearchResults* results) override;

protected:
    // The wait for the box to take a new mode; tests replace it.
    virtual void pause(int ms);
};

} // namespace tarvesk::search
