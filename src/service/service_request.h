#pragma once

namespace tarvesk::network {
class HttpRequest;
class HttpResponse;
} // namespace tarvesk::network

namespace tarvesk::service {

// A handler of GET and HEAD requests below one URL path ("/data", "/debug").
class ServiceRequest
{
public:
    virtual ~ServiceRequest() = default;
    // Sets the response's body and status for the request.
    virtual void handleRequest(network::HttpRequest* request, network::HttpResponse* response) = 0;
    // Whether the handler runs under the request handler's mutex, one request
    // at a time with every other request. Only a handler that touches nothing
    // shared without a lock of its own may say no.
    virtual bool needsRequestLock() const { return true; }
};

} // namespace tarvesk::service
