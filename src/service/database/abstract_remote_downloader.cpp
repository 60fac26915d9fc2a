#include "service/database/abstract_remote_downloader.h"

#include "core/file/application_data_folder.h"
#include "log/logging_categories.h"
#include "service/database/http_file_request.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QSaveFile>
#include <QUrl>

namespace tarvesk::service {

AbstractRemoteDownloader::AbstractRemoteDownloader(QObject* parent)
    : QObject(parent)
    , _maximumSize(HttpFileRequest::defaultMaximumSize)
    , _timeoutMs(HttpFileRequest::defaultTimeoutMs)
{ }

QString AbstractRemoteDownloader::targetFolder() const
{
    return core::ApplicationDataFolder::path() + QLatin1Char('/');
}

HttpFileRequest* AbstractRemoteDownloader::execute()
{
    const QString server = serverUrl();
    if (server.isEmpty()) {
        qCInfo(libraryServiceFile()) << "No server configured; nothing is downloaded";
        return nullptr;
    }
    auto* manager = new QNetworkAccessManager();
    auto* request = new HttpFileRequest(manager);
    manager->setParent(request);
    request->setMaximumSize(_maximumSize);
    request->setTimeout(_timeoutMs);
    connect(request, &HttpFileRequest::requestDone, this,
        &AbstractRemoteDownloader::remoteResponseReceivedHandler);
    connect(request, &HttpFileRequest::requestFailed, this,
        &AbstractRemoteDownloader::remoteResponseFailedHandler);
    connect(request, &HttpFileRequest::requestDone, request, &QObject::deleteLater);
    connect(request, &HttpFileRequest::requestFailed, request, &QObject::deleteLater);
    if (queryUrl().isEmpty())
        qCWarning(libraryServiceFile()) << "provided url is empty!";
    const QString url = server + queryUrl();
    qCDebug(libraryServiceFile()).noquote() << "downloading... " + url;
    request->startRequest(QUrl(url));
    return request;
}

void AbstractRemoteDownloader::remoteResponseReceivedHandler(QString url, QByteArray byteArray)
{
    const QString folder = targetFolder();
    if (!QDir(folder).exists()) {
        if (QDir().mkpath(folder))
            qCDebug(libraryServiceFile()).noquote()
                << "Target download folder does not exists. creating folder: " + folder;
        else
            qCWarning(libraryServiceFile()).noquote() << "Could not create folder " + folder;
    }
    // Written to a temporary file and renamed, so a failed write never leaves
    // a partial file under the target name.
    QSaveFile file(folder + _targetFileName);
    if (file.open(QIODevice::WriteOnly)) {
        if (_compress) {
            qCDebug(libraryServiceFile()).noquote() << "Encryption applied to data downloaded from " + url;
            byteArray = qCompress(byteArray, -1);
        }
        if (file.write(byteArray) == byteArray.size() && file.commit()) {
            qCDebug(libraryServiceFile()).noquote()
                << "Remote Package file downloaded to: " + file.fileName();
            emit completed();
            emit result(url, true, QString());
            return;
        }
    }
    file.cancelWriting();
    const QString message
        = "Remote Package file downloaded but could not be written to location: " + file.fileName();
    emit result(url, false, message);
    qCWarning(libraryServiceFile()).noquote() << message;
    emit completed();
}

void AbstractRemoteDownloader::remoteResponseFailedHandler(QString url)
{
    const QString message = "Remote Package file could not be downloaded: " + url;
    emit completed();
    emit result(url, false, message);
    qCWarning(libraryServiceFile()).noquote() << message;
}

} // namespace tarvesk::service
