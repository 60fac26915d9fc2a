#pragma once

#include "service/service_request.h"

#include <QString>

namespace tarvesk::service {

// The "/debug" page: the log file as HTML, whole ("/debug") or reduced to one
// message type ("/debug/info", "/debug/warning", "/debug/error").
class QDebugLoggerHttpRequestHandler : public ServiceRequest
{
public:
    void handleRequest(network::HttpRequest* request, network::HttpResponse* response) override;

    // The message type name that a path selects; empty for unknown filter words.
    static QString typeNameForPath(const QString& path);
};

} // namespace tarvesk::service
