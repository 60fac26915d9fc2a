#pragma once

#include "network/http_request_handler.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace tarvesk::service {

class QuinmarkRpcServer;
class ServiceRequest;

// The handler that every admitted HTTP request reaches: a POST carries one
// JSON-RPC request for the RPC server; GET and HEAD go to the path handler
// whose path occurs in the URL ("/data", "/debug").
class HttpServiceRequestHandler : public network::HttpRequestHandler
{
public:
    HttpServiceRequestHandler(std::shared_ptr<QuinmarkRpcServer> rpcServer, bool withoutLock, int debugLevel);

    void setDebugLevel(int level) { debugLevel = level; }
    void registerServiceHandler(const std::string& path, std::shared_ptr<ServiceRequest> handler);

    network::HttpResponse* handleRequest(network::HttpRequest* request) override;

private:
    void handleHttpPost(const network::HttpRequest* request, network::HttpResponse* response);
    void handleHttpGet(network::HttpRequest* request, network::HttpResponse* response) const;

    std::map<std::string, std::shared_ptr<ServiceRequest>> serviceHandlers; // filled before serving
    std::mutex mutex; // runs requests one at a time: methods, devices and the bus rely on it
    int debugLevel;
    bool withoutLock;
    std::shared_ptr<QuinmarkRpcServer> rpcServer;
};

} // namespace tarvesk::service
