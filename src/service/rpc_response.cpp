#include "service/rpc_response.h"

#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"

#include <QJsonArray>

#include <climits>
#include <cmath>

namespace tarvesk::service {

RpcResponse::RpcResponse() = default;

RpcResponse::~RpcResponse() = default;

void RpcResponse::setResultValue(RpcValue* value)
{
    if (_result.get() != value)
        _result.reset(value);
}

void RpcResponse::setResultValue(RpcObject* value)
{
    setResultValue(value ? new RpcValue(value) : nullptr);
}

void RpcResponse::setResultValue(RpcArray* value)
{
    setResultValue(value ? new RpcValue(value) : nullptr);
}

void RpcResponse::setDebugValue(RpcValue* value)
{
    if (_debug.get() != value)
        _debug.reset(value);
}

RpcValue* RpcResponse::getResult(const QString& key)
{
    if (!_result) {
        if (!_noResult)
            _noResult.reset(new RpcValue);
        return _noResult.get();
    }
    if (RpcObject* object = _result->getObjectValue()) {
        if (RpcValue* member = object->child(key))
            return member;
    }
    return _result.get();
}

QVariant RpcResponse::getQJsonResult() const
{
    const QJsonValue json = _result ? _result->toJsonValue() : QJsonValue();
    if (json.isArray())
        return QVariant(json.toArray());
    return QVariant(json.toObject());
}

unsigned int RpcResponse::getMemorySize() const
{
    return 8 + (_result ? _result->getMemorySize() : 0) + (_debug ? _debug->getMemorySize() : 0);
}

bool RpcResponse::checkRequiredFields(const QJsonObject& object)
{
    const bool hasResultMember = object.contains(QLatin1String("result"));
    const QJsonValue errorValue = object.value(QLatin1String("error"));
    if (hasResultMember && object.contains(QLatin1String("error"))) {
        return error(RPC_ERROR_INVALID_REQUEST,
            QStringLiteral("Response can't have both a result and an error object"));
    }
    if (hasResultMember) {
        const QJsonValue result = object.value(QLatin1String("result"));
        setResultValue(result.isUndefined() ? nullptr : new RpcValue(result));
        return error(0, QString());
    }
    if (!errorValue.isObject())
        return error(RPC_ERROR_INVALID_REQUEST, QStringLiteral("No result found"));

    const QJsonObject errorObject = errorValue.toObject();
    if (!errorObject.contains(QLatin1String("code")) || !errorObject.contains(QLatin1String("message"))) {
        return error(RPC_ERROR_INVALID_REQUEST,
            QStringLiteral("Response error should contain \"code\" and \"message\" values"));
    }
    const QJsonValue code = errorObject.value(QLatin1String("code"));
    if (!code.isDouble())
        return error(
            RPC_ERROR_INVALID_REQUEST, QStringLiteral("Response error \"code\" should be an integer value"));
    const QJsonValue message = errorObject.value(QLatin1String("message"));
    if (!message.isString())
        return error(
            RPC_ERROR_INVALID_REQUEST, QStringLiteral("Response error \"message\" should be a string value"));
    // A remote error code that is no integer in range is not taken as one
    // (and 0 would read as success).
    const double number = code.toDouble();
    if (number != std::trunc(number) || number < INT_MIN || number > INT_MAX || number == 0) {
        return error(
            RPC_ERROR_INVALID_REQUEST, QStringLiteral("Response error \"code\" should be an integer value"));
    }
    error(int(number), message.toString());
    return true;
}

void RpcResponse::createFields(QJsonObject& object) const
{
    if (_result)
        object.insert(QStringLiteral("result"), _result->toJsonValue());
    if (_debug)
        object.insert(QStringLiteral("debug"), _debug->toJsonValue());
}

void RpcResponse::collectFields(JsonMembers& members) const
{
    if (_result) {
        JsonMember result {QLatin1String("result")};
        result.value = _result.get();
        members.append(result);
    }
    if (_debug) {
        JsonMember debug {QLatin1String("debug")};
        debug.value = _debug.get();
        members.append(debug);
    }
}

} // namespace tarvesk::service
