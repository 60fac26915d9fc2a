#pragma once

#include "app/common_application.h"

class QAction;
class QApplication;
class QMenu;
class QSystemTrayIcon;

namespace tarvesk {

// The application object with the tray icon and its menu: the version (copied
// on click), links to the API documentation and the debug log, Restart
// (shown, not selectable) and Shutdown.
class ServiceApplication : public CommonApplication
{
    Q_OBJECT

public:
    ServiceApplication(QApplication* application, const QString& applicationName,
        const QString& organizationName, const QString& organizationDomain, const QString& trayIconPath,
        const QString& sha, int port);
    ~ServiceApplication() override;

    void updateUserInterfaceVersion(const QString& newVersion);
    // The addresses the menu opens: served on this machine's loopback address.
    QString apiDocUrl() const;
    QString debugLogUrl() const;

public slots:
    void copyVersionToClipboard();
    void openApiDoc();
    void openDebugLog();

private:
    QSystemTrayIcon* trayIcon = nullptr;
    QMenu* menu = nullptr;
    QAction* versionAction = nullptr;
    QAction* apiDocAction = nullptr;
    QAction* debugLogAction = nullptr;
    QAction* restartAction = nullptr;
    QAction* shutdownAction = nullptr;
};

} // namespace tarvesk
