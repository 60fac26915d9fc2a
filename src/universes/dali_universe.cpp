#include "universes/dali_universe.h"

#include "interfaces/dali_interface.h"
#include "search/dali_search.h"

namespace tarvesk::universes {

// The searcher only keeps the pointer to the universe under construction.
DaliUniverse::DaliUniverse(const QString& name, itf::DaliInterface* itf)
    : core::Universe(name, itf, new search::DaliSearch(this))
{ }

} // namespace tarvesk::universes
