#pragma once

#include <QString>

// How the engines' debug read-outs write their numbers: nine significant
// digits, lists separated by blanks.
namespace tarvesk::service::engine_debug_text {

QString number(double value);
QString numbers(const float* values, int count);

} // namespace tarvesk::service::engine_debug_text
