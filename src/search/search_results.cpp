#include "search/search_results.h"

#include "search/search_result.h"

#include <QDebug>

namespace tarvesk::search {

SearchResults::SearchResults() = default;

SearchResults::~SearchResults()
{
    for (SearchResult* result : _results)
        delete result;
}

void SearchResults::append(SearchResult* result)
{
    if (!result)
        return;
    const unsigned int uid = result->getUID();
    if (uid != SearchResult::NoUid && _uids.count(uid) > 0) {
        qInfo().noquote() << "Search result not added as a different driver with same UID already found by "
                             "another search protocol";
        delete result;
        return;
    }
    _results.push_back(result);
    _uids.insert(uid);
}

} // namespace tarvesk::search
