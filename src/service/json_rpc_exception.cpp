#include "service/json_rpc_exception.h"

#include "service/source_location.h"

JsonRpcException::JsonRpcException(const QString& message, int code, const QString& file, int line)
    : _code(code)
    , _message(appendSourceLocation(message, file, line))
{ }
