#pragma once

#include "core/universe.h"

namespace tarvesk::itf {
class DaliInterface;
}

namespace tarvesk::universes {

// A DALI bus, searched by the DALI search (presence queries and the
// random-address binary search).
class DaliUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes the interface over.
    DaliUniverse(const QString& name, itf::DaliInterface* itf);
};

} // namespace tarvesk::universes
