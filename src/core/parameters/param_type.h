#pragma once

#include <QMetaType>
#include <QString>

namespace tarvesk::core {

// The kind of value a parameter holds. Value 5 has no name: it is what a
// parameter holds after its type text could not be converted.
enum ParamType : int {
    PARAM_TYPE_NUMBER = 0,
    PARAM_TYPE_STRING = 1,
    PARAM_TYPE_ENUM = 2,
    PARAM_TYPE_BOOLEAN = 3,
    PARAM_TYPE_OBJECT = 4
};

// The short text that clients see ("number", "string", "enum", "bool",
// "object"); every other value is "undefined".
QString paramTypeShortString(ParamType type);

} // namespace tarvesk::core

Q_DECLARE_METATYPE(tarvesk::core::ParamType)
