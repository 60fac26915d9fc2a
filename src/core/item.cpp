#include "core/item.h"

namespace tarvesk::core {

Item::Item() = default;

Item::Item(const QString& name)
{
    setName(name);
}

Item::~Item() = default;

void Item::setName(const QString& name)
{
    _name = name;
    setAttributeValue(QStringLiteral("name"), name);
}

void Item::setId(int id)
{
    _id = id;
    setAttributeValue(QStringLiteral("id"), QVariant(id));
}

int Item::getAttributeCount() const
{
    return int(_attributes.size());
}

QPair<QString, DataValueSet*> Item::getAttributeByIndex(int i) const
{
    if (i < 0 || i >= getAttributeCount())
        return {QStringLiteral("invalid"), nullptr};
    auto it = _attributes.begin();
    std::advance(it, i);
    return {it->first, it->second.get()};
}

bool Item::hasAttribute(const QString& attrName) const
{
    return _attributes.count(attrName) != 0;
}

DataValueSet* Item::getAttribute(const QString& attrName) const
{
    auto it = _attributes.find(attrName);
    return it == _attributes.end() ? nullptr : it->second.get();
}

void Item::setAttribute(const QString& attrName, DataValueSet* dvs)
{
    auto& slot = _attributes[attrName];
    if (slot.get() != dvs)
        slot.reset(dvs);
}

void Item::setAttributeValue(const QString& attrName, const QVariant& var)
{
    if (DataValueSet* existing = getAttribute(attrName)) {
        existing->setValue(var);
        return;
    }
    _attributes[attrName] = std::make_unique<DataValueSet>(attrName, attrName, QString(), QString(), var);
}

} // namespace tarvesk::core
