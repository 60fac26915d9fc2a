#include "sim_logging.h"

namespace tarvesk::sim {

const QLoggingCategory& simLog()
{
    static const QLoggingCategory category("sim");
    return category;
}

} // namespace tarvesk::sim
