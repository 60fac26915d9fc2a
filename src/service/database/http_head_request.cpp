#include "service/database/http_head_request.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace tarvesk::service {

HttpHeadRequest::HttpHeadRequest(QNetworkAccessManager* manager)
    : _manager(manager)
{ }

void HttpHeadRequest::startRequest(const QUrl& url)
{
    _reply = _manager->head(QNetworkRequest(url));
    if (!connect(_reply, &QNetworkReply::metaDataChanged, this, &HttpHeadRequest::metaDataChanged))
        qWarning() << "Could not connect metaDataChanged to metaDataChanged";
}

void HttpHeadRequest::metaDataChanged()
{
    qWarning() << "Metadata changed!";
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    QMap<QString, QVariant> headers;
    const QList<QNetworkReply::RawHeaderPair> pairs = reply->rawHeaderPairs();
    for (const auto& pair : pairs) {
        // Each text ends at its first zero byte.
        headers.insert(QString::fromUtf8(pair.first.constData()), QString::fromUtf8(pair.second.constData()));
    }
    emit requestHeader(headers);
}

} // namespace tarvesk::service
