#include "service/qdebug_logger_http_request_handler.h"

#include "log/qdebug_logger.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/debug_log_page.h"

#include <QDebug>
#include <QFile>

namespace tarvesk::service {

QString QDebugLoggerHttpRequestHandler::typeNameForPath(const QString& path)
{
    const QString filter = path.section(QLatin1Char('/'), 2, 2);
    if (filter == QLatin1String("info"))
        return QStringLiteral("INFO");
    if (filter == QLatin1String("warning"))
        return QStringLiteral("WARN");
    if (filter == QLatin1String("error"))
        return QStringLiteral("FATAL");
    return QString();
}

void QDebugLoggerHttpRequestHandler::handleRequest(
    network::HttpRequest* request, network::HttpResponse* response)
{
    const QString path = request->getURL().path(QUrl::FullyDecoded);
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
    const bool wholeFile = path == QLatin1String("/debug");
    const QString typeName = wholeFile ? QString() : typeNameForPath(path);
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
