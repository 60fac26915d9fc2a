#pragma once

#include <QString>
#include <exception>

// A failure of the JSON-RPC layer that carries the error code the client gets.
class JsonRpcException : public std::exception
{
public:
    JsonRpcException(const QString& message, int code, const QString& file = QString(), int line = 0);

    int code() const noexcept { return _code; }
    const QString& message() const noexcept { return _message; }

    int _code;
    QString _message;
};

#define QM_THROW_JSONRPC(message, code)                                                                      \
    throw JsonRpcException((message), (code), QStringLiteral(__FILE__), __LINE__)
