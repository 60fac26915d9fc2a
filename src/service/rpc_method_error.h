#pragma once

#include <QString>

namespace tarvesk::service {

// The outcome of a method: code 0 for success, otherwise a JSON-RPC error
// code with its message.
class RpcMethodError
{
public:
    RpcMethodError(int code = 0, const QString& message = QString())
        : _code(code)
        , _message(message)
    { }

    int getErrorCode() const { return _code; }
    const QString& getErrorMessage() const { return _message; }
    bool isOk() const { return _code == 0; }
    bool isError() const { return _code != 0; }

private:
    int _code;
    QString _message;
};

} // namespace tarvesk::service
