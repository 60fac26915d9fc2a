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
//
// Requests share the methods, the bus traffic, the method objects, the
// factory's cache and the package-file cache, so those are used under the
// mutex, one request at a time in the order the requests take it: running
// the method of a POST, and a GET's path handler unless that handler says it
// needs no lock. What belongs to one request alone runs outside it on the
// request's own thread: checking the content type, parsing the envelope into
// the request's own RpcRequest, mapping the outcome to a status and writing
// the reply from the request's own RpcResponse (its trees are owned by the
// response and no longer reachable from any method), and sending it.
//
// A body of HttpRequest::ReleaseMemoryBodySize or more parses into tens of
// megabytes; such requests are handled whole one at a time (largeBodyMutex,
// always taken before mutex), so that a burst of them costs the memory of one,
// as when every request ran under the mutex.
class HttpServiceRequestHandler : public network::HttpRequestHandler
{
public:
    HttpServiceRequestHandler(std::shared_ptr<QuinmarkRpcServer> rpcServer, bool withoutLock, int debugLevel);

    void setDebugLevel(int level) { debugLevel = level; }
    void registerServiceHandler(const std::string& path, std::shared_ptr<ServiceRequest> handler);

    network::HttpResponse* handleRequest(network::HttpRequest* request) override;

private:
    void handleHttpPost(const network::HttpRequest* request, network::HttpResponse* response);
    void handleHttpGet(network::HttpRequest* request, network::HttpResponse* response);
    // The mutex taken, unless the handler was made without lock.
    std::unique_lock<std::mutex> requestLock();

    std::map<std::string, std::shared_ptr<ServiceRequest>> serviceHandlers; // filled before serving
    std::mutex largeBodyMutex; // one large request at a time, parsing and writing included
    // The shared work of requests one at a time: methods, devices and the bus rely on it.
    std::mutex mutex;
    int debugLevel;
    bool withoutLock;
    std::shared_ptr<QuinmarkRpcServer> rpcServer;
};

} // namespace tarvesk::service
