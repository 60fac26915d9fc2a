#include "core/data_value_set.h"

namespace tarvesk::core {

DataValueSet::DataValueSet(const QString& name, const QString& displayName, const QString& description,
    const QString& type, const QVariant& value)
    : _name(name)
    , _displayName(displayName)
    , _description(description)
    , _type(type)
    , _value(value)
{ }

} // namespace tarvesk::core
