#include "service/database/remote_firmware_package_downloader.h"

#include <QSettings>

namespace tarvesk::service {

QString RemoteFirmwarePackageDownloader::serverUrl() const
{
    const QString host = QSettings().value(hostSettingKey()).toString().trimmed();
    if (host.isEmpty())
        return QString();
    return QStringLiteral("http://%1:8013/").arg(host);
}

} // namespace tarvesk::service
