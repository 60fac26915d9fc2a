#include "core/parameters/parameter_factory.h"

#include "core/parameters/builtin_parameter_table.h"
#include "core/parameters/parameter.h"

namespace tarvesk::core {

IParameter* ParameterFactory::create(const QString& identifier) const
{
    for (const BuiltinParameter& builtin : builtinParameters()) {
        if (identifier == QLatin1String(builtin.identifier)) {
            if (builtin.make)
                return builtin.make();
            break;
        }
    }
    return new Parameter(identifier, ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
}

} // namespace tarvesk::core
