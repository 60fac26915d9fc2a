#include "service/rpc_array.h"

#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcArray::~RpcArray()
{
    qDeleteAll(_children);
}

void RpcArray::addChild(RpcValue* value)
{
    _children.append(value ? value : new RpcValue(QJsonValue(QJsonValue::Null)));
}

void RpcArray::addChild(RpcObject* value)
{
    addChild(value ? new RpcValue(value) : nullptr);
}

RpcValue* RpcArray::child(int index) const
{
    if (index < 0 || index >= _children.size())
        return nullptr;
    return _children.at(index);
}

QByteArray RpcArray::getByteArray() const
{
    QByteArray bytes;
    bytes.reserve(_children.size());
    for (int i = 0; i < _children.size(); ++i) {
        RpcValue* child = _children.at(i);
        bool ok = false;
        const int value = child->toInteger(&ok);
        if (!ok || child->getDoubleValue() != double(value)) {
            QM_THROW_JSONRPC(
                QStringLiteral("Byte %1 of the array is not an integer").arg(i), RPC_ERROR_INVALID_PARAMS);
        }
        if (value < 0 || value > 255) {
            QM_THROW_JSONRPC(
                QStringLiteral("Byte %1 of the array has the value %2, outside 0..255").arg(i).arg(value),
                RPC_ERROR_INVALID_PARAMS);
        }
        bytes.append(char(value));
    }
    return bytes;
}

RpcArray* RpcArray::clone() const
{
    auto* copy = new RpcArray;
    copy->_children.reserve(_children.size());
    for (const RpcValue* child : _children)
        copy->_children.append(child->clone());
    return copy;
}

unsigned int RpcArray::getMemorySize() const
{
    unsigned int size = 8;
    for (const RpcValue* child : _children)
        size += child->getMemorySize();
    return size;
}

} // namespace tarvesk::service
