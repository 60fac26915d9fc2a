#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <set>
#include <vector>

namespace tarvesk::search {

class SearchResult;

// The results of one search in the order found. A second result with an
// identity already held (a driver that answers two protocols) is refused and
// deleted; results without identity are always kept.
class SearchResults
{
public:
    using const_iterator = std::vector<SearchResult*>::const_iterator;

    SearchResults();
    ~SearchResults();

    SearchResults(const SearchResults&) = delete;
    SearchResults& operator=(const SearchResults&) = delete;

    // Takes the result over; the caller must not touch it afterwards.
    void append(SearchResult* result);
    int size() const { return int(_results.size()); }
    const_iterator begin() const { return _results.cbegin(); }
    const_iterator end() const { return _results.cend(); }

    // What a search could not settle (gear it found but could not address,
    // budgets it ran out of), for the client to read beside the results.
    void addWarning(const QString& text) { _warnings.append(text); }
    const QStringList& warnings() const { return _warnings; }

private:
    std::vector<SearchResult*> _results; // owned
    std::set<unsigned int> _uids;
    QStringList _warnings;
};

} // namespace tarvesk::search
