#pragma once

#include "service/database/abstract_remote_files_downloader.h"

namespace tarvesk::service {

// Downloads the firmware package "fw.pak" from the firmware-package server
// (port 8013) into the application data folder. The server's host is the
// setting "firmware/package_host"; without it nothing is downloaded.
class RemoteFirmwarePackageDownloader : public AbstractRemoteFilesDownloader
{
    Q_OBJECT

public:
    static QString hostSettingKey() { return QStringLiteral("firmware/package_host"); }

    using AbstractRemoteFilesDownloader::AbstractRemoteFilesDownloader;

    // "http://" + host + ":8013/", or empty when no host is set.
    QString serverUrl() const override;
    QString queryUrl() const override { return QStringLiteral("fw.pak"); }
};

} // namespace tarvesk::service
