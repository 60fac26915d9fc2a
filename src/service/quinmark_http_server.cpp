#include "service/quinmark_http_server.h"

#include "network/http_host_whitelist.h"
#include "network/http_server.h"
#include "network/http_session_factory.h"
#include "service/encoded_package_file_http_request_handler.h"
#include "service/http_service_request_handler.h"
#include "service/qdebug_logger_http_request_handler.h"
#include "service/quinmark_rpc_server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
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

QuinmarkHttpServer::QuinmarkHttpServer(bool apiMode, int port, bool firmwareCache)
    : rpcServer(std::make_shared<QuinmarkRpcServer>(apiMode, firmwareCache))
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
    network::setInstalledHandler(nullptr);
    if (httpServer && httpServer->isRunning()) {
        qDebug() << "Stopping HTTP server at port " << httpServer->getPort();
        // Lets requests in flight finish, then joins every connection thread:
        // nothing uses the handler, the sessions or the RPC server afterwards.
        httpServer->stop();
    }
    network::setHttpSessionFactory(nullptr);
    httpServer.reset();
    requestHandler.reset();
    releaseProcessModel();
    rpcServer.reset();
}

void QuinmarkHttpServer::releaseProcessModel()
{
    // The device, universe and profile managers join here as they are built:
    // force-remove every universe, clear the device and profile managers.
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
    httpServer = std::make_shared<network::HttpServer>(httpPort);
    auto whitelist = std::make_shared<network::HttpHostWhitelist>();
    network::setHttpSessionFactory(std::make_shared<network::HttpSessionFactory>(whitelist));
    return true;
}

void QuinmarkHttpServer::initRandomGenerator()
{
    std::srand(unsigned(QDateTime::currentMSecsSinceEpoch()));
}

int QuinmarkHttpServer::servedPort() const
{
    return httpServer ? httpServer->getPort() : 0;
}

void QuinmarkHttpServer::run()
{
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
