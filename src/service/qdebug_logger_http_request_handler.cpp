#include "service/qdebug_logger_http_request_handler.h"

#include "log/qdebug_logger.h"
#include "network/http_request.h"
#include "network/http_response.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

namespace tarvesk::service {

namespace {

const char PageHead[] = "<!DOCTYPE html>\n"
                        "<html lang=\"en\">\n"
                        "<head>\n"
                        "<meta charset=\"utf-8\">\n"
                        "<title>* DEBUG LOGGER *</title>\n"
                        // Absolute, so that the filtered pages below "/debug/" find it too.
                        "<link rel=\"stylesheet\" href=\"/data/css/log.css\" type=\"text/css\" />"
                        "</head>\n"
                        "<body>\n";
const char PageTail[] = "</body>\n"
                        "</html>\n";

bool lineMatchesType(const QString& line, const QString& typeName)
{
    const QStringList words = line.split(QLatin1Char(' '));
    const auto word = [&](int index) { return index < words.size() ? words.at(index) : QString(); };
    // The second word carries the type of lines with a category prefix
    // ("rpc.server: INFO || ...").
    return (words.size() > 0 && word(0) == typeName) || (words.size() > 1 && word(1) == typeName);
}

} // namespace

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
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // The log exists but cannot be read: a fault on this side, not the client's.
        qDebug() << QStringLiteral("Could not open file: %1").arg(logPath);
        response->setStatusCode(500);
        return;
    }

    const bool wholeFile = path == QLatin1String("/debug");
    const QString typeName = wholeFile ? QString() : typeNameForPath(path);
    if (!wholeFile)
        qDebug() << "Log type: " << typeName;

    QString body = QString::fromUtf8(PageHead);
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    QString line;
    while (stream.readLineInto(&line)) {
        if (wholeFile || lineMatchesType(line, typeName))
            body += line.toHtmlEscaped() + QStringLiteral("<br>");
    }
    file.close();
    body += QString::fromUtf8(PageTail);

    response->setContentType(QStringLiteral("text/html; charset=utf-8"));
    response->setData(body.toUtf8());
    response->setStatusCode(200);
}

} // namespace tarvesk::service
