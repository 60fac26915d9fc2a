#include "service/rpc_message.h"

#include "core/json_text_guard.h"
#include "service/rpc_error_codes.h"

#include <QJsonArray>
#include <QJsonParseError>
#include <QVariant>

#include <algorithm>

namespace tarvesk::service {

namespace {

// The text the framework writes for a value.
QByteArray frameworkJson(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The exact text of a value: the framework's writer goes through a double,
// which loses digits of the 64-bit integers the framework holds.
QByteArray exactJson(const QJsonValue& value)
{
    const QVariant variant = value.toVariant();
    if (value.isDouble() && variant.userType() == QMetaType::LongLong)
        return QByteArray::number(variant.toLongLong());
    return frameworkJson(value);
}

int longestRun(const QByteArray& text, char c)
{
    int longest = 0;
    int run = 0;
    for (const char byte : text) {
        run = byte == c ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

} // namespace

RpcMessage::RpcMessage()
    : _created(QTime::currentTime())
{ }

RpcMessage::~RpcMessage() = default;

bool RpcMessage::error(int code, const QString& text)
{
    _errorCode = code;
    _errorString = text;
    return code == 0;
}

bool RpcMessage::parseJsonRpc(const QString& text)
{
    _rawText = text;
    return parse(text.toUtf8());
}

bool RpcMessage::parseJsonRpcUtf8(const QByteArray& utf8)
{
    _rawText = QString::fromUtf8(utf8);
    return parse(utf8);
}

bool RpcMessage::parse(const QByteArray& utf8)
{
    // Only an id read from this text may answer it.
    _id = QJsonValue(QJsonValue::Null);
    _idJson.clear();

    QByteArray idJson;
    const QString fault = core::jsonTextFault(utf8, QStringLiteral("id"), &idJson);
    if (!fault.isEmpty())
        return error(RPC_ERROR_PARSE, fault);

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return error(RPC_ERROR_PARSE, parseError.errorString());

    // A batch (an array) or any other top level reads as an empty object and
    // so fails for want of an id.
    const QJsonObject object = document.object();
    if (!object.contains(QLatin1String("id")))
        return error(RPC_ERROR_INVALID_REQUEST, QStringLiteral("No ID"));

    const QJsonValue id = object.value(QLatin1String("id"));
    if ((id.isString() && !id.toString().isEmpty()) || id.isDouble()) {
        _id = id;
        _idJson = idJson.isEmpty() ? exactJson(id) : idJson;
    } else {
        return error(RPC_ERROR_INVALID_REQUEST, QStringLiteral("Invalid id, not a number or a string"));
    }

    if (object.value(QLatin1String("jsonrpc")).toString() != QLatin1String("2.0")) {
        return error(RPC_ERROR_INVALID_REQUEST,
            QStringLiteral("Invalid JSON-RPC version: %1 expected").arg(QStringLiteral("2.0")));
    }
    return checkRequiredFields(object);
}

QJsonObject RpcMessage::toJsonObject() const
{
    QJsonObject object;
    object.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
    if (_errorCode != 0) {
        QJsonObject errorObject;
        errorObject.insert(QStringLiteral("code"), _errorCode);
        errorObject.insert(QStringLiteral("message"), _errorString);
        object.insert(QStringLiteral("error"), errorObject);
    } else {
        createFields(object);
    }
    object.insert(QStringLiteral("id"), _id);
    return object;
}

QJsonArray RpcMessage::toJsonArray() const
{
    return QJsonArray {toJsonObject()};
}

QString RpcMessage::serializeToJson(QJsonDocument::JsonFormat format) const
{
    return QString::fromUtf8(serializeToUtf8(format).constData());
}

QByteArray RpcMessage::serializeToUtf8(QJsonDocument::JsonFormat format) const
{
    QJsonObject object = toJsonObject();
    QByteArray text = QJsonDocument(object).toJson(format);
    if (_idJson.isEmpty() || frameworkJson(_id) == _idJson)
        return text;

    // The framework would write the id otherwise than it was read. Write a
    // placeholder text in its place that occurs nowhere else in the reply (a
    // run of '#' longer than any in it: the rest of the reply stays the same),
    // then put the id's own text where the placeholder stands.
    const QByteArray placeholder(longestRun(text, '#') + 1, '#');
    object.insert(QStringLiteral("id"), QString::fromLatin1(placeholder));
    text = QJsonDocument(object).toJson(format);
    const QByteArray quoted = '"' + placeholder + '"';
    const int at = text.indexOf(quoted);
    return at < 0 ? QJsonDocument(toJsonObject()).toJson(format) : text.replace(at, quoted.size(), _idJson);
}

QString RpcMessage::getId() const
{
    if (_id.isString())
        return _id.toString();
    if (_id.isDouble())
        return QString::fromUtf8(_idJson);
    return QString();
}

void RpcMessage::setId(const QString& id)
{
    _id = QJsonValue(id);
    _idJson = frameworkJson(_id);
}

void RpcMessage::setJsonId(const QJsonValue& id)
{
    const bool valid = id.isString() || id.isDouble();
    _id = valid ? id : QJsonValue(QJsonValue::Null);
    _idJson = valid ? exactJson(id) : QByteArray();
}

QByteArray RpcMessage::getIdJson() const
{
    return _idJson.isEmpty() ? QByteArrayLiteral("null") : _idJson;
}

void RpcMessage::setIdFrom(const RpcMessage& other)
{
    _id = other._id;
    _idJson = other._idJson;
}

} // namespace tarvesk::service
