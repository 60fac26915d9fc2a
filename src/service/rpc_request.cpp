#include "service/rpc_request.h"

#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcRequest::RpcRequest(const QString& methodName)
    : _params(new RpcValue(new RpcObject))
    , _methodName(methodName)
{
    setId(QStringLiteral("0"));
}

RpcRequest::RpcRequest(const RpcRequest& other)
    : RpcMessage()
    , _params(other._params ? other._params->clone() : nullptr)
    , _methodName(other._methodName)
    , _critical(other._critical)
{
    setId(QStringLiteral("0"));
}

RpcRequest::~RpcRequest() = default;

RpcRequest* RpcRequest::clone() const
{
    return new RpcRequest(*this);
}

void RpcRequest::setMethodName(const QString& name)
{
    _methodName = name;
}

RpcValue* RpcRequest::getParam(const QString& name) const
{
    if (!_params || !_params->getObjectValue())
        return nullptr;
    return _params->getObjectValue()->child(name);
}

bool RpcRequest::hasParameters() const
{
    // What toJsonValue() would make of the params: an object only for an
    // object value, and one with members only when its object has children.
    return _params && _params->getType() == RpcValue::RPC_VALUE_OBJECT && _params->getObjectValue()
        && _params->getObjectValue()->childCount() > 0;
}

bool RpcRequest::hasNamedParameters() const
{
    return !_params || _params->getObjectValue();
}

void RpcRequest::removeParameter(const QString& name)
{
    if (_params && _params->getObjectValue())
        _params->getObjectValue()->removeChild(name);
}

bool RpcRequest::addParameter(const QString& name, RpcValue* value)
{
    if (!_params)
        _params.reset(new RpcValue(new RpcObject));
    RpcObject* object = _params->getObjectValue();
    if (!object) {
        delete value;
        return false;
    }
    object->addChild(name, value);
    return true;
}

bool RpcRequest::addParameter(const QString& name, RpcObject* value)
{
    return addParameter(name, value ? new RpcValue(value) : nullptr);
}

bool RpcRequest::addParameter(const QString& name, RpcArray* value)
{
    return addParameter(name, value ? new RpcValue(value) : nullptr);
}

unsigned int RpcRequest::getMemorySize() const
{
    return 8 + (_params ? _params->getMemorySize() : 0);
}

bool RpcRequest::checkRequiredFields(const QJsonObject& object)
{
    if (!object.contains(QLatin1String("method")))
        return error(RPC_ERROR_INVALID_REQUEST, QStringLiteral("No method specified"));
    _methodName = object.value(QLatin1String("method")).toString();
    if (object.contains(QLatin1String("params")))
        _params.reset(new RpcValue(object.value(QLatin1String("params"))));
    return error(0, QString());
}

void RpcRequest::createFields(QJsonObject& object) const
{
    object.insert(QStringLiteral("method"), _methodName);
    object.insert(QStringLiteral("params"), _params ? _params->toJsonValue() : QJsonValue(QJsonValue::Null));
}

void RpcRequest::collectFields(JsonMembers& members) const
{
    JsonMember method {QLatin1String("method")};
    method.text = &_methodName;
    members.append(method);
    JsonMember params {QLatin1String("params")};
    params.value = _params.get(); // null when there are none
    members.append(params);
}

} // namespace tarvesk::service
