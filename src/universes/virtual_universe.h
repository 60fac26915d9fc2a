#pragma once

#include "core/universe.h"

namespace tarvesk::itf {
class VirtualInterface;
}

namespace tarvesk::universes {

// The universe "Virtual" that holds the virtual devices. Nothing is there to
// search: it has no searcher.
class VirtualUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes the interface over.
    VirtualUniverse(const QString& name, itf::VirtualInterface* itf);
};

} // namespace tarvesk::universes
