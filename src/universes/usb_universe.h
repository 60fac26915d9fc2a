#pragma once

#include "core/universe.h"

namespace tarvesk::universes {

// The universe of the USB programming interfaces. It lives as long as the
// service runs: removing it needs force.
class UsbUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes over the transport and the searcher (which may be null).
    UsbUniverse(
        const QString& name, core::NetworkInterface* itf, search::UniverseSearcher* searcher = nullptr);
};

} // namespace tarvesk::universes
