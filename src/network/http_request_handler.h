#pragma once

namespace tarvesk::network {

class HttpRequest;
class HttpResponse;

// The one object that the HTTP server hands every admitted request to.
class HttpRequestHandler
{
public:
    virtual ~HttpRequestHandler() = default;
    // Returns a new response that the caller owns.
    virtual HttpResponse* handleRequest(HttpRequest* request) = 0;
};

} // namespace tarvesk::network
