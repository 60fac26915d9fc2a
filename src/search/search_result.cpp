#include "search/search_result.h"

namespace tarvesk::search {

SearchResult::SearchResult(core::Universe* universe)
    : _universe(universe)
{ }

SearchResult::~SearchResult() = default;

} // namespace tarvesk::search
