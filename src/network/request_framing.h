#pragma once

#include <memory>

struct MHD_Connection;

namespace tarvesk::network {

class HttpResponse;

// How a request says where its body ends. HTTP/1.1 lets a request say it one
// way only: two different Content-Length values, or a Content-Length beside
// a Transfer-Encoding, leave the end of the body to whichever reading a
// server (or a proxy in front of it) picks, so that one client's body can be
// read as another request. A Transfer-Encoding other than chunked alone
// ("gzip", "identity", "chunked, identity") says nothing the server can read
// the end from. Such a request is refused with 400 before any of its body is
// read, and its connection closes.
class RequestFraming
{
public:
    // The refusal for a request whose headers frame its body ambiguously;
    // null for a request framed one way (or not at all). Looks at every
    // occurrence of the headers, not the first only.
    static std::unique_ptr<HttpResponse> refusalFor(MHD_Connection* connection);
};

} // namespace tarvesk::network
