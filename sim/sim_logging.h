#pragma once

#include <QLoggingCategory>

namespace tarvesk::sim {

// Messages of the simulated hardware ("sim").
const QLoggingCategory& simLog();

} // namespace tarvesk::sim
