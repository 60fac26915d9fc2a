#include "service/rpc_message.h"

#include "service/json_text_guard.h"
#include "service/rpc_error_codes.h"

#include <QJsonArray>
#include <QJsonParseError>
#include <QVariant>

#include <cmath>

namespace tarvesk::service {

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
    // Only an id read from this text may answer it.
    _id = QJsonValue(QJsonValue::Null);

    const QByteArray utf8 = text.toUtf8();
    const QString fault = jsonTextFault(utf8);
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
    if ((id.isString() && !id.toString().isEmpty()) || id.isDouble())
        _id = id;
    else
        return error(RPC_ERROR_INVALID_REQUEST, QStringLiteral("Invalid id, not a number or a string"));

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
    const QVariant id = _id.toVariant();
    const qint64 exact = id.toLongLong();
    constexpr qint64 doubleExact = qint64(1) << 53;
    if (!_id.isDouble() || id.userType() != QMetaType::LongLong
        || (exact <= doubleExact && exact >= -doubleExact))
        return QJsonDocument(object).toJson(format);

    // The framework writes every number through a double, which cannot hold
    // this id. Write a placeholder text that occurs nowhere else in the
    // reply, then put the id's exact digits in its place.
    for (int attempt = 0;; ++attempt) {
        const QByteArray placeholder = "id-" + QByteArray::number(attempt);
        object.insert(QStringLiteral("id"), QString::fromLatin1(placeholder));
        QByteArray text = QJsonDocument(object).toJson(format);
        const QByteArray quoted = '"' + placeholder + '"';
        if (text.count(quoted) == 1)
            return text.replace(quoted, QByteArray::number(exact));
    }
}

QString RpcMessage::getId() const
{
    if (_id.isString())
        return _id.toString();
    if (!_id.isDouble())
        return QString();
    const QVariant variant = _id.toVariant();
    if (variant.userType() == QMetaType::LongLong)
        return QString::number(variant.toLongLong());
    const double number = _id.toDouble();
    if (std::trunc(number) == number && std::fabs(number) < 9.0e18)
        return QString::number(qint64(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

void RpcMessage::setId(const QString& id)
{
    _id = QJsonValue(id);
}

void RpcMessage::setJsonId(const QJsonValue& id)
{
    _id = (id.isString() || id.isDouble()) ? id : QJsonValue(QJsonValue::Null);
}

} // namespace tarvesk::service
