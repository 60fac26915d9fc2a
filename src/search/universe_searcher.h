#pragma once

#include <QObject>
#include <QString>

namespace tarvesk::core {
class Universe;
}

namespace tarvesk::search {

class SearchOptions;
class SearchResults;

// Finds the devices of one universe. The universe that holds a searcher owns
// it and deletes it through this base; the bus-specific searchers derive from it.
class UniverseSearcher : public QObject
{
    Q_OBJECT

public:
    // The universe is the one searched; it owns the searcher, not the reverse.
    UniverseSearcher(const QString& name, core::Universe* universe);
    ~UniverseSearcher() override;

    const QString& getName() const { return _name; }
    core::Universe* getUniverse() const { return _universe; }

    // Appends what it finds to results. 0, or a negative bus status. Either
    // argument may be null: a searcher then finds nothing new.
    virtual int search(SearchOptions* options, SearchResults* results) = 0;

private:
    QString _name;
    core::Universe* _universe; // owns this searcher
};

} // namespace tarvesk::search
