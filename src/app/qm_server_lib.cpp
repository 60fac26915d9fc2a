#include "app/qm_server_lib.h"

#include "app/common_application.h"
#include "app/production_dependencies.h"
#include "app/qm_server_version.h"
#include "app/service_application.h"
#include "core/file/application_data_folder.h"
#include "log/qdebug_logger.h"
#include "network/listen_socket.h"
#include "service/exit_request.h"
#include "service/quinmark_http_server.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace tarvesk {

namespace {

const char ApplicationName[] = "Quinmark Server";
const char OrganizationName[] = "Tarvesk";
const char TrayIconPath[] = ":/icons/systray.svg";
constexpr int RestartExitCode = 1337;

// The service port's listen socket, kept from one pass of the restart loop to
// the next: a client that connects while the service restarts waits in its
// backlog and is answered by the next pass instead of being refused. Closed at
// a shut-down, or when the next pass serves another port.
std::shared_ptr<network::ListenSocket>& keptListenSocket()
{
    static std::shared_ptr<network::ListenSocket> socket;
    return socket;
}

// The service port's listen socket for a pass that has none kept. A copy
// started while another serves the port ends at once (its HTTP server cannot
// start), and the log file is the other copy's unless it was told otherwise:
// from here on this copy writes to its terminal only, so that the serving
// copy's log, and its error page, show no failure that is not its own.
std::shared_ptr<network::ListenSocket> claimPort(int port)
{
    auto socket = std::make_shared<network::ListenSocket>(port);
    if (!socket->isOpen() && socket->errorNumber() == EADDRINUSE)
        service::QDebugLogger::setEnableWriteToFile(false);
    return socket;
}

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
    bool served = false;
    {
        service::QuinmarkHttpServer server(
            qm_server::api_mode(), port, !daemon, productionRpcServerDependencies());
        const bool ok = server.init(false);
        if (server.servedPort() != 0)
            app->setPort(server.servedPort());
        std::shared_ptr<network::ListenSocket>& kept = keptListenSocket();
        if (kept && kept->port() != server.servedPort())
            kept.reset(); // the port changed in the settings: the old one closes
        if (test) {
            code = ok ? 0 : 1;
        } else if (ok) {
            server.useListenSocket(kept ? kept : claimPort(server.servedPort()));
            server.start();
            code = QApplication::exec();
            served = true;
            service::ExitRequest::take(); // what ended the loop
        }
        if (code == RestartExitCode) {
            kept = server.listenSocket();
        } else {
            // Stops accepting before the connections accepted are answered.
            server.closeListening();
            kept.reset();
        }
    } // the HTTP server object ends here: what it accepted answered, daemon stopped, model released
    // A request answered after the loop ended ("application.quit" while a
    // restart let the accepted connections finish) decides what comes next.
    if (const std::optional<int> asked = served ? service::ExitRequest::take() : std::nullopt) {
        code = *asked;
        if (code != RestartExitCode)
            keptListenSocket().reset();
    }
    app.reset();
    return code;
}

} // namespace tarvesk
