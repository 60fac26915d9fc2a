#pragma once

// The framework's own serialisation of messages and values, as the service
// wrote replies before it had a writer of its own: the reference that the
// writer (service/rpc_json_writer.h) must match byte for byte.

#include "service/rpc_message.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace qmtest {

// The framework's text of one value (inside an array, without the brackets).
inline QByteArray frameworkValueJson(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// toJsonObject() written by QJsonDocument, with the id's own text put where
// the framework writes the id otherwise: a placeholder text that occurs nowhere
// else in the reply (a run of '#' longer than any in it) is written in the
// id's place and then replaced.
inline QByteArray frameworkSerialisation(
    const tarvesk::service::RpcMessage& message, QJsonDocument::JsonFormat format)
{
    QJsonObject object = message.toJsonObject();
    QByteArray text = QJsonDocument(object).toJson(format);
    const QByteArray idJson = message.getIdJson();
    if (idJson == frameworkValueJson(message.getJsonId()))
        return text;
    int longest = 0;
    int run = 0;
    for (const char byte : text) {
        run = byte == '#' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    const QByteArray placeholder(longest + 1, '#');
    object.insert(QStringLiteral("id"), QString::fromLatin1(placeholder));
    text = QJsonDocument(object).toJson(format);
    const QByteArray quoted = '"' + placeholder + '"';
    const int at = text.indexOf(quoted);
    return at < 0 ? QByteArray() : text.replace(at, quoted.size(), idJson);
}

// A value tree written by the framework: wrapped as the only member of an
// object, since a document holds an object or an array.
inline QByteArray frameworkTreeJson(const tarvesk::service::RpcValue& value, QJsonDocument::JsonFormat format)
{
    return QJsonDocument(QJsonObject {{QStringLiteral("v"), value.toJsonValue()}}).toJson(format);
}

} // namespace qmtest
