#include "search/universe_searcher.h"

namespace tarvesk::search {

UniverseSearcher::UniverseSearcher(const QString& name, core::Universe* universe)
    : _name(name)
    , _universe(universe)
{ }

UniverseSearcher::~UniverseSearcher() = default;

} // namespace tarvesk::search
