#pragma once

#include "service/quinmark_rpc_server.h"

#include <QThread>

#include <memory>
#include <mutex>

namespace tarvesk::core {
class Item;
} // namespace tarvesk::core

namespace tarvesk::network {
class HttpServer;
class ListenSocket;
} // namespace tarvesk::network

namespace tarvesk::service {

class HttpServiceRequestHandler;

// The service's HTTP side for one pass of the restart loop: the RPC server,
// the installed request handler with its path handlers, and the HTTP server.
// The thread body only starts the libmicrohttpd daemon, which then serves on
// threads of its own.
class QuinmarkHttpServer : public QThread
{
public:
    // The RPC server is built with the given dependencies.
    QuinmarkHttpServer(
        bool apiMode, int port, bool firmwareCache, QuinmarkRpcServer::Dependencies dependencies);
    ~QuinmarkHttpServer() override;

    bool init(bool withoutLock);
    void initHttpRequestHandlers(bool withoutLock);
    bool initHttpServer(int port);
    static void initRandomGenerator();

    // The port the HTTP server serves (the setting "network/http_port" may
    // choose another than the command line); 0 without an HTTP server.
    int servedPort() const;
    const std::shared_ptr<QuinmarkRpcServer>& getRpcServer() const { return rpcServer; }

    // The listen socket kept from an earlier pass: the HTTP server serves it
    // when it is on the port served now. Call after init(), before start().
    void useListenSocket(std::shared_ptr<network::ListenSocket> socket);
    // The socket the HTTP server listened on; null when it did not start.
    std::shared_ptr<network::ListenSocket> listenSocket() const;
    // For a shut-down, before the destructor: new connections are refused
    // from now on, the ones accepted are answered as the server stops.
    void closeListening();

    // Where one pass drops what the process-wide managers hold, before the
    // database goes: every universe but `keep` force-removed with its devices,
    // the device and profile managers emptied. The next pass starts from an
    // empty model.
    static void releaseProcessModel(const core::Item* keep = nullptr);

protected:
    void run() override;

private:
    // Taken at the end of run() and after wait(): the hand-over of what run()
    // set up then shows to ThreadSanitizer, which cannot see QThread::wait().
    std::mutex _runFinished;

    std::shared_ptr<HttpServiceRequestHandler> requestHandler;
    std::shared_ptr<network::HttpServer> httpServer;
    std::shared_ptr<QuinmarkRpcServer> rpcServer;
    int port;
};

} // namespace tarvesk::service
