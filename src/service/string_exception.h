#pragma once

#include <QString>
#include <exception>

// A failure with a message only, thrown by the JSON-RPC layer and the table loaders.
class StringException : public std::exception
{
public:
    StringException(const QString& message, const QString& file = QString(), int line = 0);

    const QString& message() const noexcept { return _message; }

    QString _message;
};

#define QM_THROW_STRING(message) throw StringException((message), QStringLiteral(__FILE__), __LINE__)
