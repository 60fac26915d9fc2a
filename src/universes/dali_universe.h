#pragma once

#include "core/universe.h"

namespace tarvesk::itf {
class DaliInterface;
}

namespace tarvesk::universes {

// A DALI bus. It has no searcher yet: a search here finds nothing and succeeds.
class DaliUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes the interface over.
    DaliUniverse(const QString& name, itf::DaliInterface* itf);
};

} // namespace tarvesk::universes
