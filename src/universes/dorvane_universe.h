#pragma once

#include "core/universe.h"

namespace tarvesk::itf {
class DorvaneInterface;
}

namespace tarvesk::universes {

// The Dorvane port of a Vandrel box. It answers for Dorvane and, through a
// Dorvane DALI interface, for DALI tunnelled in Dorvane frames. Its search
// finds the driver on the port or the slave modules behind it.
class DorvaneUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes the interface over; the Dorvane DALI interface is made here and
    // also owned by the universe.
    DorvaneUniverse(const QString& name, itf::DorvaneInterface* itf);
};

} // namespace tarvesk::universes
