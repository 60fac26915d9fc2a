#pragma once

#include "search/universe_searcher.h"

namespace tarvesk::search {

// Lists the USB devices through the universe's libusb transport and keeps those
// whose vendor and product ids the USB search options register.
class LibUsbSearch : public UniverseSearcher
{
    Q_OBJECT

public:
    explicit LibUsbSearch(core::Universe* universe);

    // -8 without USB search options or without a libusb transport on the
    // universe; -1 when libusb cannot be initialised (listing needs a context);
    // 0 otherwise, also when the listing fails (then nothing is found).
    int search(SearchOptions* options, SearchResults* results) override;
};

} // namespace tarvesk::search
