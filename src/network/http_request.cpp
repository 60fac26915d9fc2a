#include "network/http_request.h"

#include "network/http_session.h"

#include <QDebug>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tarvesk::network {

HttpRequest::HttpRequest(const QString& method, const QString& url)
    : method(method)
    , urlText(url)
{ }

QUrl& HttpRequest::parsedUrl() const
{
    // Parsed on first use: a JSON-RPC call never looks at its URL. The text
    // is the path of the request line (libmicrohttpd keeps the query apart),
    // taken whole as a path: read as a URL, "//debug" would be a host named
    // "debug" with an empty path, which is the start page's.
    if (!urlParsed) {
        url = QUrl();
        url.setPath(urlText, QUrl::TolerantMode);
        urlParsed = true;
    }
    return url;
}

HttpRequest::~HttpRequest()
{
    // Handling a large body (its buffer, the parsed JSON, the reply) leaves
    // the allocator with many free pieces that it returns to the system only
    // from the top of a heap; after a burst of large requests they would stay
    // resident while the service idles. The request goes after its reply, so
    // by now that memory is free.
    if (receivedBytes < ReleaseMemoryBodySize)
        return;
    uploadData = QByteArray();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void HttpRequest::setSession(std::shared_ptr<HttpSession> newSession)
{
    session = std::move(newSession);
}

void HttpRequest::setBodyRoom(BodyBudget::Reservation reserved)
{
    room = std::move(reserved);
}

bool HttpRequest::growBodyRoom(qint64 total, std::chrono::milliseconds patience)
{
    if (!room.growTo(total, patience))
        return false;
    uploadData.reserve(int(room.bytes()));
    return true;
}

void HttpRequest::appendUploadData(const char* data, unsigned long size)
{
    if (isBodyRefused() || !data || size == 0)
        return;
    uploadData.append(data, int(size));
    receivedBytes += qint64(size);
}

void HttpRequest::releaseBody()
{
    uploadData = QByteArray();
    room.release();
}

void HttpRequest::refuseBody(BodyRefusal why)
{
    bodyRefusal = why;
    releaseBody();
}

QString HttpRequest::getHeaderItem(const QString& name) const
{
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return QString();
}

void HttpRequest::addHeaderItem(const QString& name, const QString& value)
{
    headers.insert(name, value);
}

void HttpRequest::addQueryItem(const QString& key, const QString& value)
{
    query.addQueryItem(key, value);
    parsedUrl().setQuery(query);
}

void HttpRequest::setUrlPath(const QString& path)
{
    parsedUrl().setPath(path, QUrl::DecodedMode);
}

bool HttpRequest::setPostRequestIterator(MHD_PostProcessor* processor)
{
    postProcessor = processor;
    return processor != nullptr;
}

void HttpRequest::debugPrint() const
{
    qDebug().noquote()
        << QStringLiteral("*** HttpRequest *** \"%1\" URL: %2").arg(method, parsedUrl().toString());
    qDebug().noquote() << "Headers:";
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it)
        qDebug().noquote() << QStringLiteral(" - %1 : %2").arg(it.key(), it.value());
    qDebug().noquote() << "Query:";
    const auto items = query.queryItems();
    for (const auto& item : items)
        qDebug().noquote() << QStringLiteral(" - %1 : %2").arg(item.first, item.second);
    qDebug().noquote() << "***";
}

} // namespace tarvesk::network
