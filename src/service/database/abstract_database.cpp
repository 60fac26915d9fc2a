#include "service/database/abstract_database.h"

#include "core/file/application_data_folder.h"

#include <QCoreApplication>

namespace tarvesk::service {

QString AbstractDatabase::packageFilesPath()
{
    return QCoreApplication::applicationDirPath().replace(
        QStringLiteral("MacOS"), QStringLiteral("Resources"));
}

QString AbstractDatabase::firmwareCachePath()
{
    return core::ApplicationDataFolder::path();
}

} // namespace tarvesk::service
