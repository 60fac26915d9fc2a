#include "service/database/abstract_remote_files_downloader.h"

#include "log/logging_categories.h"

namespace tarvesk::service {

void AbstractRemoteFilesDownloader::remoteResponseReceivedHandler(QString url, QByteArray byteArray)
{
    const QString name = url.split(QLatin1Char('/')).last();
    setTargetFileName(name);
    qCDebug(libraryServiceFile()).noquote() << "target file name changed to " + name;
    AbstractRemoteDownloader::remoteResponseReceivedHandler(url, byteArray);
}

} // namespace tarvesk::service
