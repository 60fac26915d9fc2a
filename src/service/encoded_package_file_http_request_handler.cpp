#include "service/encoded_package_file_http_request_handler.h"

#include "core/core_errors.h"
#include "log/logging_categories.h"
#include "network/http_request.h"
#include "network/http_response.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>

namespace tarvesk::service {

namespace {

QString fileStamp(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

EncodedPackageFileHttpRequestHandler::EncodedPackageFileHttpRequestHandler(
    QString packageFileName, QString packageFolder, PackageFileReaderFactory readerFactory)
    : packageFileName(std::move(packageFileName))
    , packageFolder(std::move(packageFolder))
    , readerFactory(std::move(readerFactory))
{ }

QString EncodedPackageFileHttpRequestHandler::defaultPackageFolder()
{
    QString folder = QCoreApplication::applicationDirPath();
    folder.replace(QStringLiteral("MacOS"), QStringLiteral("Resources"));
    return folder;
}

bool EncodedPackageFileHttpRequestHandler::ensurePackage()
{
    if (package)
        return true;
    const QString path = QStringLiteral("%1/%2").arg(packageFolder, packageFileName);
    const QString stamp = fileStamp(path);
    // A missing package is looked for again (it may be installed later); one
    // that failed to decode is tried again only once the file has changed.
    if (!stamp.isEmpty() && stamp == failedStamp)
        return false;
    auto reader = readerFactory(packageFolder, packageFileName);
    try {
        ++decodes;
        reader->openAndDecodeFile();
        package = std::move(reader);
        failedStamp.clear();
        return true;
    } catch (const std::exception& error) {
        failedStamp = stamp;
        qCWarning(libraryServiceFile())
            << "Data package not available:" << QString::fromStdString(error.what());
    }
    return false;
}

QByteArray EncodedPackageFileHttpRequestHandler::lookUp(const QString& name)
{
    const auto cached = cache.constFind(name);
    if (cached != cache.constEnd()) {
        qDebug() << "cached value used service file request for: " << name;
        return cached.value();
    }
    if (!ensurePackage())
        return QByteArray();
    QByteArray data;
    try {
        data = package->fileToByteArray(name);
    } catch (const std::exception&) {
        return QByteArray(); // a name the package lacks is not remembered
    }
    qDebug() << "new service file request for: " << name;
    if (!data.isEmpty())
        cache.insert(name, data);
    return data;
}

void EncodedPackageFileHttpRequestHandler::handleRequest(
    network::HttpRequest* request, network::HttpResponse* response)
{
    const QString path = request->getURL().path(QUrl::FullyDecoded);
    const QByteArray data = lookUp(path.mid(1));
    if (!data.isEmpty()) {
        response->setData(data);
        response->setStatusCode(200);
        return;
    }
    qInfo().noquote() << QStringLiteral("HTTP file request error 404 (not found) : %1").arg(path);
    response->setStatusCode(404);
}

} // namespace tarvesk::service
