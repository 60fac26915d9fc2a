#include "service/rpc_message.h"

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

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
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
    return QJsonDocument(toJsonObject()).toJson(format);
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
