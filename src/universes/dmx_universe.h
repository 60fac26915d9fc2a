#pragma once

#include "core/universe.h"

namespace tarvesk::itf {
class DmxInterface;
}

namespace tarvesk::universes {

// A DMX512 line. It answers for DMX and, through a Wystrel DALI interface on
// the same line, for DALI frames carried in Wystrel packets. Its searcher finds
// the drivers on the line by RDM discovery and the Wystrel search.
class DmxUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes the interface over; the Wystrel DALI interface is made here and
    // also owned by the universe.
    DmxUniverse(const QString& name, itf::DmxInterface* itf);
};

} // namespace tarvesk::universes
