#pragma once

#include "core/data_value_set.h"

#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>

namespace tarvesk::core {

// Base of every named object of the model: an id given by the list that holds
// it, a name, and generic attributes that clients and scripts can list.
class Item : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ getName WRITE setName)

public:
    Item();
    explicit Item(const QString& name);
    ~Item() override;

    void setName(const QString& name);
    QString getName() const { return _name; }
    void setId(int id);
    int getId() const { return _id; }
    void setImmortality(bool immortal) { _immortal = immortal; }
    bool isImmortal() const { return _immortal; }

    Q_INVOKABLE int getAttributeCount() const;
    QPair<QString, DataValueSet*> getAttributeByIndex(int i) const;
    Q_INVOKABLE bool hasAttribute(const QString& attrName) const;
    DataValueSet* getAttribute(const QString& attrName) const;
    void setAttribute(const QString& attrName, DataValueSet* dvs);
    Q_INVOKABLE void setAttributeValue(const QString& attrName, const QVariant& var);

private:
    int _id = 0;
    QString _name;
    bool _immortal = false;
    std::map<QString, std::unique_ptr<DataValueSet>> _attributes;
};

} // namespace tarvesk::core
