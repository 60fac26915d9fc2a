#include "service/rpc_object.h"

#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcObject::~RpcObject()
{
    qDeleteAll(_children);
}

void RpcObject::addChild(const QString& key, RpcValue* value)
{
    if (!value)
        value = new RpcValue(QJsonValue(QJsonValue::Null));
    RpcValue* previous = _children.value(key, nullptr);
    if (previous == value)
        return;
    delete previous;
    _children.insert(key, value);
}

void RpcObject::addChild(const QString& key, RpcObject* value)
{
    addChild(key, value ? new RpcValue(value) : nullptr);
}

void RpcObject::addChild(const QString& key, RpcArray* value)
{
    addChild(key, value ? new RpcValue(value) : nullptr);
}

void RpcObject::removeChild(const QString& key)
{
    delete _children.take(key);
}

RpcObject* RpcObject::clone() const
{
    auto* copy = new RpcObject;
    for (auto it = _children.constBegin(); it != _children.constEnd(); ++it)
        copy->_children.insert(it.key(), it.value()->clone());
    return copy;
}

unsigned int RpcObject::getMemorySize() const
{
    unsigned int size = 8;
    for (const RpcValue* child : _children)
        size += child->getMemorySize();
    return size;
}

} // namespace tarvesk::service
