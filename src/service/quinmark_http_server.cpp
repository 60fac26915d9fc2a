#include "service/quinmark_http_server.h"

#include "core/device_manager.h"
#include "core/profile/profile_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "network/descriptor_budget.h"
#include "network/http_host_whitelist.h"
#include "network/http_server.h"
#include "network/http_session_factory.h"
#include "network/listen_socket.h"
#include "service/encoded_package_file_http_request_handler.h"
#include "service/http_service_request_handler.h"
#include "service/qdebug_logger_http_request_handler.h"
#include "service/quinmark_rpc_server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QPointer>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

namespace tarvesk::service {

namespace {

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

} // namespace

QuinmarkHttpServer::QuinmarkHttpServer(
    bool apiMode, int port, bool firmwareCache, QuinmarkRpcServer::Dependencies dependencies)
    : rpcServer(std::make_shared<QuinmarkRpcServer>(apiMode, firmwareCache, std::move(dependencies)))
    , port(port)
{
    qDebug() << "QM server: API mode = " << boolText(apiMode);
    qDebug() << "QM server: Firmware cache = " << boolText(firmwareCache);
}

QuinmarkHttpServer::~QuinmarkHttpServer()
{
    qDebug() << "Stopping QM server ";
    // The thread only starts the daemon; it must be over before the daemon goes.
    wait();
    {
        std::lock_guard<std::mutex> finished(_runFinished);
    }
    if (httpServer && httpServer->isRunning()) {
        qDebug() << "Stopping HTTP server at port " << httpServer->getPort();
        // Answers what it accepted, with the handler still installed, then
        // joins every connection thread: nothing uses the handler, the
        // sessions or the RPC server afterwards.
        httpServer->stop();
    }
    network::setInstalledHandler(nullptr);
    network::setHttpSessionFactory(nullptr);
    httpServer.reset();
    requestHandler.reset();
    // The RPC server releases the USB universe it made, then the database.
    releaseProcessModel(rpcServer->usbUniverse());
    rpcServer.reset();
}

namespace {

// Guarded: removing one item can take others with it (a box with its buses).
QList<QPointer<core::Item>> itemsOf(const core::ItemList& list)
{
    QList<core::Item*> items;
    list.getItemList(items);
    QList<QPointer<core::Item>> guarded;
    for (core::Item* item : items)
        guarded.append(item);
    return guarded;
}

void removeAll(core::ItemList& list, const core::Item* keep = nullptr)
{
    for (const QPointer<core::Item>& item : itemsOf(list)) {
        if (item && item != keep)
            list.remove(item, true);
    }
}

} // namespace

void QuinmarkHttpServer::releaseProcessModel(const core::Item* keep)
{
    auto& universes = core::UniverseManager::instance();
    // Devices go first, through their universes: they use the universes' interfaces.
    for (const QPointer<core::Item>& item : itemsOf(universes)) {
        if (auto* universe = qobject_cast<core::Universe*>(item.data()))
            universe->clearDevices(true);
    }
    removeAll(universes, keep);
    removeAll(core::DeviceManager::instance());
    core::ProfileManager::instance().SetProfileArray(nullptr, QJsonArray());
    removeAll(core::ProfileManager::instance());
}

bool QuinmarkHttpServer::init(bool withoutLock)
{
    const bool rpcReady = rpcServer->init();
    initHttpRequestHandlers(withoutLock);
    const bool httpReady = initHttpServer(port);
    initRandomGenerator();
    return rpcReady && httpReady;
}

void QuinmarkHttpServer::initHttpRequestHandlers(bool withoutLock)
{
    requestHandler = std::make_shared<HttpServiceRequestHandler>(rpcServer, withoutLock, 0);
    network::setInstalledHandler(requestHandler);
    requestHandler->registerServiceHandler(
        "/data", std::make_shared<EncodedPackageFileHttpRequestHandler>("data.1"));
    requestHandler->registerServiceHandler("/debug", std::make_shared<QDebugLoggerHttpRequestHandler>());
}

bool QuinmarkHttpServer::initHttpServer(int commandLinePort)
{
    QSettings settings;
    if (!settings.value(QStringLiteral("network/http_enabled"), true).toBool())
        return false;
    bool isNumber = false;
    const int httpPort
        = settings.value(QStringLiteral("network/http_port"), commandLinePort).toInt(&isNumber);
    if (!isNumber || httpPort < 1 || httpPort > 65535) {
        const QString text
            = QStringLiteral("Invalid port number in setting network/http_port: \"%1\" (1 to 65535)")
                  .arg(settings.value(QStringLiteral("network/http_port")).toString());
        qCritical().noquote() << text;
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return false;
    }
    // With so few descriptors allowed that the ones open already leave none
    // for a connection beside the service's own files, a burst would take the
    // log's: the service does not start, and says why.
    if (network::DescriptorBudget::connectionLimitNow() < 1) {
        const QString text
            = QStringLiteral("Too few open files allowed to serve HTTP: the limit of %1 leaves no room for a "
                             "connection beside the %2 open and %3 kept for the service's own files; raise it "
                             "(ulimit -n)")
                  .arg(network::DescriptorBudget::softLimit())
                  .arg(network::DescriptorBudget::openDescriptors())
                  .arg(network::DescriptorBudget::OwnFilesReserve);
        qCritical().noquote() << text;
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return false;
    }
    httpServer = std::make_shared<network::HttpServer>(httpPort);
    auto whitelist = std::make_shared<network::HttpHostWhitelist>();
    network::setHttpSessionFactory(std::make_shared<network::HttpSessionFactory>(whitelist));
    return true;
}

void QuinmarkHttpServer::initRandomGenerator()
{
    std::srand(unsigned(QDateTime::currentMSecsSinceEpoch()));
}

void QuinmarkHttpServer::useListenSocket(std::shared_ptr<network::ListenSocket> socket)
{
    if (httpServer)
        httpServer->useListenSocket(std::move(socket));
}

std::shared_ptr<network::ListenSocket> QuinmarkHttpServer::listenSocket() const
{
    return httpServer && httpServer->isRunning() ? httpServer->listenSocket() : nullptr;
}

void QuinmarkHttpServer::closeListening()
{
    // run() starts the server; it is over before the socket is touched here.
    wait();
    {
        std::lock_guard<std::mutex> finished(_runFinished);
    }
    if (httpServer)
        httpServer->closeListening();
}

int QuinmarkHttpServer::servedPort() const
{
    return httpServer ? httpServer->getPort() : 0;
}

void QuinmarkHttpServer::run()
{
    std::lock_guard<std::mutex> finished(_runFinished);
    const bool running = httpServer && httpServer->start();
    qDebug() << "HTTP started at port " << servedPort() << ". running status: " << boolText(running);
    if (!running) {
        qDebug() << "Application will stop as port " << servedPort() << " is already in use!";
        // The event loop belongs to the main thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    }
}

} // namespace tarvesk::service
