#pragma once

#include "service/service_request.h"

#include <QString>

namespace tarvesk::service {

// The "/debug" page: the log file as HTML, whole ("/debug") or reduced to one
// message type ("/debug/info", "/debug/warning", "/debug/error").
//
// It runs beside other requests, not under the request handler's mutex: the
// page (DebugLogPage) reads the log file, whose path the logger hands out
// under its own lock, while it is sent, which for a full log takes a tenth of
// a second and would hold up every JSON-RPC call.
class QDebugLoggerHttpRequestHandler : public ServiceRequest
{
public:
    void handleRequest(network::HttpRequest* request, network::HttpResponse* response) override;
    bool needsRequestLock() const override { return false; }

    // The message type name that a filtered page's path selects; empty for
    // any other path. Only the four page paths are pages: a path that merely
    // holds one (the request handler routes every path holding "/debug" here)
    // is not found, rather than a page filtered on nothing.
    static QString typeNameForPath(const QString& path);
};

} // namespace tarvesk::service
