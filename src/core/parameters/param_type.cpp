#include "core/parameters/param_type.h"

namespace tarvesk::core {

QString paramTypeShortString(ParamType type)
{
    switch (type) {
    case PARAM_TYPE_NUMBER:
        return QStringLiteral("number");
    case PARAM_TYPE_STRING:
        return QStringLiteral("string");
    case PARAM_TYPE_ENUM:
        return QStringLiteral("enum");
    case PARAM_TYPE_BOOLEAN:
        return QStringLiteral("bool");
    case PARAM_TYPE_OBJECT:
        return QStringLiteral("object");
    }
    return QStringLiteral("undefined");
}

} // namespace tarvesk::core
