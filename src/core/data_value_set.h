#pragma once

#include <QString>
#include <QVariant>

namespace tarvesk::core {

// One named, typed attribute value of an item.
class DataValueSet
{
public:
    DataValueSet(const QString& name, const QString& displayName, const QString& description,
        const QString& type, const QVariant& value);
    DataValueSet(const DataValueSet&) = delete;
    DataValueSet& operator=(const DataValueSet&) = delete;

    const QString& getName() const { return _name; }
    const QString& getDisplayName() const { return _displayName; }
    const QString& getDescription() const { return _description; }
    const QString& getType() const { return _type; }
    const QVariant& getValue() const { return _value; }
    void setValue(const QVariant& value) { _value = value; }

private:
    QString _name;
    QString _displayName;
    QString _description;
    QString _type;
    QVariant _value;
};

} // namespace tarvesk::core
