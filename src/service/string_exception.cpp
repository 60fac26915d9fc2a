#include "service/string_exception.h"

#include "service/source_location.h"

StringException::StringException(const QString& message, const QString& file, int line)
    : _message(appendSourceLocation(message, file, line))
{ }
