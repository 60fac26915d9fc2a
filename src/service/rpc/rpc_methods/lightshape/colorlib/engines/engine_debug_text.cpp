#include "service/rpc/rpc_methods/lightshape/colorlib/engines/engine_debug_text.h"

#include <QStringList>

namespace tarvesk::service::engine_debug_text {

QString number(double value)
{
    return QString::number(value, 'g', 9);
}

QString numbers(const float* values, int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << number(values[i]);
    return texts.join(QLatin1Char(' '));
}

} // namespace tarvesk::service::engine_debug_text
