#pragma once

#include "service/database/abstract_remote_downloader.h"

namespace tarvesk::service {

// A downloader that stores each file under the last part of its URL.
class AbstractRemoteFilesDownloader : public AbstractRemoteDownloader
{
    Q_OBJECT

public:
    using AbstractRemoteDownloader::AbstractRemoteDownloader;

public slots:
    void remoteResponseReceivedHandler(QString url, QByteArray byteArray) override;
};

} // namespace tarvesk::service
