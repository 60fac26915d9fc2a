#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QString>

#include <ostream>

// Readable Qt values in GoogleTest failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << "0x" << bytes.toHex().toStdString();
}

inline void PrintTo(const QJsonValue& value, std::ostream* os)
{
    *os << QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact).toStdString();
}
