#include "core/item_list.h"

#include "log/logging_categories.h"

#include <algorithm>

namespace tarvesk::core {

int ItemList::getNextFreeId()
{
    if (!_freeIds.isEmpty()) {
        std::sort(_freeIds.begin(), _freeIds.end());
        return _freeIds.takeFirst();
    }
    return ++_lastId;
}

bool ItemList::add(Item* item, bool)
{
    if (!item)
        return false;
    if (item->getId() != 0) {
        auto it = _index.find(item->getId());
        if (it != _index.end()) {
            if (it->second == item)
                return true;
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("Refused to add item \"%1\": its id %2 belongs to item \"%3\"")
                       .arg(item->getName())
                       .arg(item->getId())
                       .arg(it->second->getName());
            return false;
        }
    }
    const int id = getNextFreeId();
    _index[id] = item;
    item->setId(id);
    return true;
}

bool ItemList::remove(Item* item, bool force)
{
    if (!item)
        return false;
    auto it = _index.find(item->getId());
    // Only the very object that the list holds under that id.
    if (it == _index.end() || it->second != item)
        return false;
    if (item->isImmortal() && !force)
        return false;
    _index.erase(it);
    _freeIds.append(item->getId());
    delete item;
    return true;
}

void ItemList::clear()
{
    // Work on a snapshot: a destructor may remove or add other items.
    Index snapshot;
    snapshot.swap(_index);
    for (auto& [id, item] : snapshot) {
        Q_UNUSED(id)
        if (!item->isImmortal())
            delete item;
    }
}

Item* ItemList::getItem(int id) const
{
    auto it = _index.find(id);
    return it == _index.end() ? nullptr : it->second;
}

bool ItemList::contains(const Item* item) const
{
    return find(item) != _index.end();
}

ItemList::Index::const_iterator ItemList::find(const Item* item) const
{
    return item ? _index.find(item->getId()) : _index.end();
}

int ItemList::findItemIndex(const Item* item) const
{
    return contains(item) ? item->getId() : 0;
}

void ItemList::getItemList(QList<Item*>& items) const
{
    for (const auto& entry : _index)
        items.append(entry.second);
}

void ItemList::reportMissingAttribute(const QString& name, const Item* item)
{
    qCCritical(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QStringLiteral("Could not find attribute \"%1\" for item \"%2\"").arg(name, item->getName());
}

void ItemList::getItemListByAttribute(QList<Item*>& items, const QString& name, const QVariant& value) const
{
    for (const auto& entry : _index) {
        DataValueSet* attribute = entry.second->getAttribute(name);
        if (!attribute) {
            reportMissingAttribute(name, entry.second);
            continue;
        }
        if (!value.isValid() || value == attribute->getValue())
            items.append(entry.second);
    }
}

Item* ItemList::getItemByAttribute(const QString& name, const QVariant& value) const
{
    const bool textual = value.type() == QVariant::String;
    const QString wanted = textual ? value.toString().toLower() : QString();
    for (const auto& entry : _index) {
        DataValueSet* attribute = entry.second->getAttribute(name);
        if (!attribute) {
            // Skip it: the order of the items must not decide the result.
            reportMissingAttribute(name, entry.second);
            continue;
        }
        if (textual ? attribute->getValue().toString().toLower() == wanted : value == attribute->getValue())
            return entry.second;
    }
    return nullptr;
}

} // namespace tarvesk::core
