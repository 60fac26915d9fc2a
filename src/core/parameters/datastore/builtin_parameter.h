#pragma once

#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"

// A built-in driver parameter makes its copies with its own constructor, so
// that a copy keeps its class and its behaviour; copyFrom brings the fields.
#define QM_BUILTIN_CLONE(Class)                                                                              \
    IParameter* clone() override                                                                             \
    {                                                                                                        \
        auto* copy = new Class();                                                                            \
        copy->copyFrom(this);                                                                                \
        return copy;                                                                                         \
    }

namespace tarvesk::core {

// The fields every built-in parameter sets in its constructor.
inline void describeBuiltin(
    Parameter& p, const QString& displayName, const QString& accessLevel, const QString& group, bool readOnly)
{
    p.setDisplayName(displayName);
    p.setAccessLevel(accessLevel);
    p.setGroup(group);
    p.setReadOnly(readOnly);
}

} // namespace tarvesk::core
