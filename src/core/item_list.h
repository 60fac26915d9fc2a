#pragma once

#include "core/item.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <map>

namespace tarvesk::core {

// The items of one kind by integer id. Ids count from 1; the ids of removed
// items are handed out again, smallest first. The list deletes what it removes.
// No lock: the request handler runs one request at a time.
class ItemList
{
public:
    using Index = std::map<int, Item*>;

    ItemList() = default;
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    ~ItemList() = default;

    // Gives the item a new id and takes it in. An item already in the list is
    // left as it is (true); an item whose id belongs to another item is refused
    // and reported (false). The flag is not consulted.
    bool add(Item* item, bool flag = false);
    // Takes exactly this object out and deletes it; immortal items only with force.
    bool remove(Item* item, bool force = false);
    // Deletes every item that is not immortal; immortal items are only dropped.
    void clear();

    int count() const { return int(_index.size()); }
    Item* getItem(int id) const;
    bool contains(const Item* item) const;
    Index::const_iterator find(const Item* item) const;
    Index::const_iterator end() const { return _index.end(); }
    int findItemIndex(const Item* item) const;
    void getItemList(QList<Item*>& items) const;
    void getItemListByAttribute(QList<Item*>& items, const QString& name, const QVariant& value) const;
    Item* getItemByAttribute(const QString& name, const QVariant& value) const;
    int getNextFreeId();

private:
    static void reportMissingAttribute(const QString& name, const Item* item);

    int _lastId = 0;
    Index _index;
    QList<int> _freeIds;
};

} // namespace tarvesk::core
