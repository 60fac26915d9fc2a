#include "service/source_location.h"

QString appendSourceLocation(const QString& message, const QString& file, int line)
{
    if (file.isEmpty())
        return message;
    const QString last = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    if (last.isEmpty())
        return message;
    return message + QStringLiteral("  @ %1: %2").arg(last).arg(line);
}
