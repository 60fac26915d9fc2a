#include "app/qm_server_lib.h"

#include "app/common_application.h"
#include "app/production_dependencies.h"
#include "app/qm_server_version.h"
#include "app/service_application.h"
#include "core/file/application_data_folder.h"
#include "service/quinmark_http_server.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace tarvesk {

namespace {

const char ApplicationName[] = "Quinmark Server";
const char OrganizationName[] = "Tarvesk";
const char TrayIconPath[] = ":/icons/systray.svg";

} // namespace

void QmServerLib::setApplicationIdentity()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationName));
    QCoreApplication::setOrganizationName(QString::fromLatin1(OrganizationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(OrganizationDomain));
    QCoreApplication::setApplicationVersion(qm_server::applicationVersionString());
    // The log, the firmware cache and the profile files stay where they are
    // for the whole pass, whatever name the application is given meanwhile.
    core::ApplicationDataFolder::fixForThisPass();
}

int QmServerLib::startAsService(QApplication* application, int port, bool daemon, bool test)
{
    const QString name = QString::fromLatin1(ApplicationName);
    const QString organization = QString::fromLatin1(OrganizationName);
    const QString domain = QString::fromLatin1(OrganizationDomain);
    std::unique_ptr<CommonApplication> app;
    if (daemon)
        app = std::make_unique<CommonApplication>(application, name, organization, domain, QString(), port);
    else
        app = std::make_unique<ServiceApplication>(
            application, name, organization, domain, QString::fromLatin1(TrayIconPath), QString(), port);
    app->setApplicationVersionString(qm_server::applicationVersionString());
    if (test) {
        std::printf("%s\n", qPrintable(qm_server::testVersionLine()));
        std::fflush(stdout);
    }
    app->initializeSystemInfo();

    int code = 1;
    {
        service::QuinmarkHttpServer server(
            qm_server::api_mode(), port, !daemon, productionRpcServerDependencies());
        const bool ok = server.init(false);
        if (server.servedPort() != 0)
            app->setPort(server.servedPort());
        if (test) {
            code = ok ? 0 : 1;
        } else if (ok) {
            server.start();
            code = QApplication::exec();
        }
    } // the HTTP server object ends here: daemon stopped, model released
    app.reset();
    return code;
}

} // namespace tarvesk
