#pragma once

#include <QLoggingCategory>

namespace tarvesk::core {

// The category "parameter", where parameters write their debug and warning
// lines; a function-local static, created on first use.
const QLoggingCategory& parameterLog();

} // namespace tarvesk::core
