#include "core/parameters/parameter_logging.h"

namespace tarvesk::core {

const QLoggingCategory& parameterLog()
{
    static const QLoggingCategory category("parameter");
    return category;
}

} // namespace tarvesk::core
