#include "core/file/application_data_folder.h"

#include <QStandardPaths>

#include <mutex>

namespace tarvesk::core {

namespace {

std::mutex folderMutex;
QString fixedFolder; // guarded by folderMutex

} // namespace

QString ApplicationDataFolder::path()
{
    {
        std::lock_guard<std::mutex> lock(folderMutex);
        if (!fixedFolder.isEmpty())
            return fixedFolder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void ApplicationDataFolder::fixForThisPass()
{
    fix(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void ApplicationDataFolder::fix(const QString& folder)
{
    std::lock_guard<std::mutex> lock(folderMutex);
    fixedFolder = folder;
}

void ApplicationDataFolder::release()
{
    fix(QString());
}

} // namespace tarvesk::core
