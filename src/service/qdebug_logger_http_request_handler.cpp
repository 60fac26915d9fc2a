#include "service/qdebug_logger_http_request_handler.h"

#include "log/logging_categories.h"
#include "log/qdebug_logger.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/debug_log_page.h"

#include <QDebug>
#include <QFile>

namespace tarvesk::service {

QString QDebugLoggerHttpRequestHandler::typeNameForPath(const QString& path)
{
    if (path == QLatin1String("/debug/info"))
        return QStringLiteral("INFO");
    if (path == QLatin1String("/debug/warning"))
        return QStringLiteral("WARN");
    if (path == QLatin1String("/debug/error"))
        return QStringLiteral("FATAL");
    return QString();
}

void QDebugLoggerHttpRequestHandler::handleRequest(
    network::HttpRequest* request, network::HttpResponse* response)
{
    const QString path = request->getURL().path(QUrl::FullyDecoded);
    const bool wholeFile = path == QLatin1String("/debug");
    const QString typeName = wholeFile ? QString() : typeNameForPath(path);
    if (!wholeFile && typeName.isEmpty()) {
        qCWarning(loggerGlog()) << "No file request handler installed to perfom http GET request: " << path;
        response->setStatusCode(404);
        return;
    }
    const QString logPath = QDebugLogger::logFilePath();
    qDebug() << "Log file location: " << logPath;
    if (logPath.isEmpty()) {
        qDebug() << "QDebug Logger not installed. No logging functionality available.";
        response->setStatusCode(404);
        return;
    }
    QFile file(logPath);
    if (!file.exists()) {
        qDebug() << "No log file found: " << logPath;
        response->setStatusCode(404);
        return;
    }
    std::unique_ptr<DebugLogPage> page = DebugLogPage::open(logPath, wholeFile, typeName);
    if (!page) {
        // The log exists but cannot be read: a fault on this side, not the client's.
        qDebug() << QStringLiteral("Could not open file: %1").arg(logPath);
        response->setStatusCode(500);
        return;
    }
    if (!wholeFile)
        qDebug() << "Log type: " << typeName;

    // The page is made while it is sent, never held whole.
    response->setContentType(QStringLiteral("text/html; charset=utf-8"));
    response->setBodySource(std::move(page));
    response->setStatusCode(200);
}

} // namespace tarvesk::service
