#include "network/http_response.h"

#include "network/http_body_source.h"

#include <QDebug>

namespace tarvesk::network {

HttpResponse::HttpResponse()
{
    headers.insert(QStringLiteral("Server"), QStringLiteral("Quinmark"));
    headers.insert(QStringLiteral("Connection"), QStringLiteral("keep-alive"));
    // Browser front ends served from other origins call the service directly.
    headers.insert(QStringLiteral("Access-Control-Allow-Headers"),
        QStringLiteral("Origin, X-Requested-With, Content-Type, Accept"));
    headers.insert(QStringLiteral("Access-Control-Allow-Origin"), QStringLiteral("*"));
}

HttpResponse::~HttpResponse() = default;
HttpResponse::HttpResponse(HttpResponse&&) noexcept = default;
HttpResponse& HttpResponse::operator=(HttpResponse&&) noexcept = default;

void HttpResponse::setBodySource(std::unique_ptr<HttpBodySource> source)
{
    bodySource = std::move(source);
}

std::unique_ptr<HttpBodySource> HttpResponse::takeBodySource()
{
    return std::move(bodySource);
}

void HttpResponse::addHeaderItem(const QString& name, const QString& value)
{
    headers.insert(name, value);
}

QString HttpResponse::getHeaderItem(const QString& name) const
{
    return headers.value(name);
}

void HttpResponse::setContentType(const QString& type)
{
    headers.insert(QStringLiteral("Content-Type"), type);
}

void HttpResponse::debugPrint() const
{
    qDebug().noquote() << QStringLiteral("*** Http Response %1 ***").arg(statusCode);
    qDebug().noquote() << "Headers:";
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it)
        qDebug().noquote() << QStringLiteral("%1 - %2").arg(it.key(), it.value());
    qDebug().noquote() << "***";
}

} // namespace tarvesk::network
