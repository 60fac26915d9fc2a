#pragma once

#include "service/package_file_reader.h"
#include "service/service_request.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <memory>

namespace tarvesk::service {

// Serves the files of the data package below "/data" (and "/" once rewritten
// to the start page). The package is decoded once, on the first request, and
// kept; names it lacks cost nothing to remember.
class EncodedPackageFileHttpRequestHandler : public ServiceRequest
{
public:
    explicit EncodedPackageFileHttpRequestHandler(QString packageFileName,
        QString packageFolder = defaultPackageFolder(),
        PackageFileReaderFactory readerFactory = defaultPackageFileReaderFactory());

    void handleRequest(network::HttpRequest* request, network::HttpResponse* response) override;

    // The folder of the executable, with "MacOS" replaced by "Resources" (the
    // resources folder of an application bundle).
    static QString defaultPackageFolder();
    int cachedFileCount() const { return cache.size(); }

private:
    bool ensurePackage();
    QByteArray lookUp(const QString& name);

    QString packageFileName;
    QString packageFolder;
    PackageFileReaderFactory readerFactory;
    // All below: no lock of their own; requests run one at a time under the
    // installed handler's mutex.
    std::unique_ptr<PackageFileReader> package;
    QString failedStamp; // size and time of a package file that failed to decode
    int decodes = 0;
    QMap<QString, QByteArray> cache; // names served; shares bytes with the package
};

} // namespace tarvesk::service
