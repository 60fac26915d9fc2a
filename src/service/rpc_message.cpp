#include "service/rpc_message.h"

#include "core/json_text_guard.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_json_writer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonParseError>
#include <QVariant>

#include <algorithm>
#include <string_view>

namespace tarvesk::service {

namespace {

// The text the framework writes for a string or number id.
QByteArray frameworkJson(const QJsonValue& value)
{
    RpcJsonWriter writer(QJsonDocument::Compact, 64);
    if (value.isString())
        writer.string(value.toString());
    else if (value.isDouble())
        writer.number(value.toDouble());
    else
        return QByteArrayLiteral("null");
    return writer.take();
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

} // namespace

RpcMessage::RpcMessage()
    : _created(QDateTime::currentMSecsSinceEpoch())
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
    _rawUtf8.clear();
    return parse(text.toUtf8());
}

bool RpcMessage::parseJsonRpcUtf8(const QByteArray& utf8)
{
    _rawText.clear();
    _rawUtf8 = utf8;
    return parse(utf8);
}

QString RpcMessage::getRawStringValue() const
{
    return _rawUtf8.isNull() ? _rawText : QString::fromUtf8(_rawUtf8);
}

QTime RpcMessage::getCreationTime() const
{
    return QDateTime::fromMSecsSinceEpoch(_created).time();
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
    JsonMembers members;
    JsonMember version {QLatin1String("jsonrpc")};
    version.isVersion = true;
    members.append(version);
    JsonMember id {QLatin1String("id")};
    id.isId = true;
    members.append(id);
    if (_errorCode != 0) {
        JsonMember error {QLatin1String("error")};
        error.isError = true;
        members.append(error);
    } else {
        collectFields(members);
    }
    // The framework's objects keep their members in key order.
    std::sort(members.begin(), members.end(), [](const JsonMember& a, const JsonMember& b) {
        return std::string_view(a.key.data(), size_t(a.key.size()))
            < std::string_view(b.key.data(), size_t(b.key.size()));
    });

    RpcJsonWriter writer(format);
    writer.beginObject();
    for (const JsonMember& member : members) {
        writer.key(member.key);
        if (member.isVersion) {
            writer.string(QStringLiteral("2.0"));
        } else if (member.isId) {
            // The id exactly as it was read; a message without one answers null.
            writer.raw(getIdJson());
        } else if (member.isError) {
            writer.beginObject();
            writer.key(QLatin1String("code"));
            writer.number(_errorCode);
            writer.key(QLatin1String("message"));
            writer.string(_errorString);
            writer.close();
        } else if (member.text) {
            writer.string(*member.text);
        } else {
            writer.value(member.value);
        }
    }
    writer.close();
    return writer.take();
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
