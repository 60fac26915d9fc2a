#pragma once

#include <QObject>

namespace tarvesk::search {

// Finds the devices of one universe. The universe that holds a searcher owns
// it and deletes it through this base; the bus-specific searchers derive from it.
class UniverseSearcher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~UniverseSearcher() override = default;
};

} // namespace tarvesk::search
