#include "app/service_application.h"

#include "app/qm_server_version.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

namespace tarvesk {

namespace {

// The service listens on IPv4; "localhost" may resolve to ::1 first.
const char LoopbackHost[] = "127.0.0.1";

} // namespace

ServiceApplication::ServiceApplication(QApplication* application, const QString& applicationName,
    const QString& organizationName, const QString& organizationDomain, const QString& trayIconPath,
    const QString& sha, int port)
    : CommonApplication(application, applicationName, organizationName, organizationDomain, sha, port)
{
    if (trayIconPath.isEmpty())
        return;
    const QIcon icon(trayIconPath);

    versionAction = new QAction(QStringLiteral("Version: %1").arg(getApplicationVersionString()));
    apiDocAction = new QAction(QStringLiteral("API doc"));
    debugLogAction = new QAction(QStringLiteral("Debug Log"));
    restartAction = new QAction(QStringLiteral("Restart"));
    restartAction->setEnabled(false);
    shutdownAction = new QAction(QStringLiteral("Shutdown"));
    connect(versionAction, &QAction::triggered, this, &ServiceApplication::copyVersionToClipboard);
    connect(apiDocAction, &QAction::triggered, this, &ServiceApplication::openApiDoc);
    connect(debugLogAction, &QAction::triggered, this, &ServiceApplication::openDebugLog);
    connect(restartAction, &QAction::triggered, this, &ServiceApplication::restart);
    connect(shutdownAction, &QAction::triggered, this, &ServiceApplication::quit);

    menu = new QMenu;
    menu->addAction(versionAction);
    menu->addSeparator();
    menu->addAction(apiDocAction);
    menu->addAction(debugLogAction);
    menu->addSeparator();
    menu->addAction(restartAction);
    menu->addSeparator();
    menu->addAction(shutdownAction);

    trayIcon = new QSystemTrayIcon;
    trayIcon->setContextMenu(menu);
    trayIcon->setIcon(icon);
    trayIcon->setVisible(true);
    trayIcon->setToolTip(getApplicationName() + QLatin1Char(' ') + getApplicationVersionString());

    connect(this, &CommonApplication::applicationVersionStringChanged, this,
        &ServiceApplication::updateUserInterfaceVersion);
}

ServiceApplication::~ServiceApplication()
{
    delete trayIcon;
    delete menu;
    delete versionAction;
    delete apiDocAction;
    delete debugLogAction;
    delete restartAction;
    delete shutdownAction;
}

void ServiceApplication::updateUserInterfaceVersion(const QString& newVersion)
{
    if (!trayIcon)
        return;
    trayIcon->setToolTip(getApplicationName() + QLatin1Char(' ') + newVersion);
    versionAction->setText(QStringLiteral("Version: %1").arg(newVersion));
}

QString ServiceApplication::apiDocUrl() const
{
    const QString page = qm_server::api_mode() ? QStringLiteral("new_api_api_mode_doc.html")
                                               : QStringLiteral("new_api_doc.html");
    return QStringLiteral("http://%1:%2/data/html/%3").arg(QLatin1String(LoopbackHost)).arg(port).arg(page);
}

QString ServiceApplication::debugLogUrl() const
{
    return QStringLiteral("http://%1:%2/debug").arg(QLatin1String(LoopbackHost)).arg(port);
}

void ServiceApplication::copyVersionToClipboard()
{
    QGuiApplication::clipboard()->setText(getApplicationVersionString());
}

void ServiceApplication::openApiDoc()
{
    QDesktopServices::openUrl(QUrl(apiDocUrl()));
}

void ServiceApplication::openDebugLog()
{
    QDesktopServices::openUrl(QUrl(debugLogUrl()));
}

} // namespace tarvesk
