#include "service/database/abstract_database.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace tarvesk::service {

QString AbstractDatabase::packageFilesPath()
{
    return QCoreApplication::applicationDirPath().replace(
        QStringLiteral("MacOS"), QStringLiteral("Resources"));
}

QString AbstractDatabase::firmwareCachePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

} // namespace tarvesk::service
