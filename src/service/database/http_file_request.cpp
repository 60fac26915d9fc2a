#include "service/database/http_file_request.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace tarvesk::service {

HttpFileRequest::HttpFileRequest(QNetworkAccessManager* manager)
    : HttpHeadRequest(manager)
{
    _deadline.setSingleShot(true);
    connect(&_deadline, &QTimer::timeout, this,
        [this] { abortWith(QStringLiteral("no complete answer within %1 ms").arg(_timeoutMs)); });
}

void HttpFileRequest::startRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    // Redirects are not followed: only the configured server's own 200 counts.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    _reply = _manager->get(request);
    connect(_reply, &QNetworkReply::finished, this, &HttpFileRequest::requestFinished);
    if (!connect(_reply, &QNetworkReply::downloadProgress, this, &HttpFileRequest::requestProgress))
        qWarning() << "Could not connect downloadProgress to requestProgress";
    if (!connect(_reply, &QNetworkReply::metaDataChanged, this, &HttpHeadRequest::metaDataChanged))
        qWarning() << "Could not connect metaDataChanged to metaDataChanged";
    // The size cap is checked as soon as the length is announced and as bytes arrive.
    connect(_reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (_reply)
            checkSize(_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    connect(_reply, &QNetworkReply::downloadProgress, this,
        [this](qint64 received, qint64 total) { checkSize(qMax(received, total)); });
    _deadline.start(_timeoutMs);
}

void HttpFileRequest::checkSize(qint64 bytes)
{
    if (bytes > _maximumSize)
        abortWith(QStringLiteral("larger than the limit of %1 bytes").arg(_maximumSize));
}

void HttpFileRequest::abortWith(const QString& reason)
{
    if (!_abortReason.isEmpty() || !_reply || _reply->isFinished())
        return;
    _abortReason = reason;
    _reply->abort(); // finishes the reply: requestFinished reports the failure
}

void HttpFileRequest::requestFinished()
{
    _deadline.stop();
    QNetworkReply* reply = _reply;
    if (!reply)
        return;
    const QUrl url = reply->url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString failure = _abortReason;
    if (failure.isEmpty() && reply->error() != QNetworkReply::NoError)
        failure = reply->errorString();
    if (failure.isEmpty() && status != 200)
        failure = QStringLiteral("HTTP status %1").arg(status);
    if (failure.isEmpty()) {
        _receivedData = reply->readAll();
        if (_receivedData.size() > _maximumSize)
            failure = QStringLiteral("larger than the limit of %1 bytes").arg(_maximumSize);
    }
    if (failure.isEmpty()) {
        qDebug().noquote() << tr("Download of \"%1\" succeeded (size: %2 bytes)")
                                  .arg(QString::fromUtf8(url.toEncoded()))
                                  .arg(_receivedData.size());
        emit requestDone(url.toString(), _receivedData);
    } else {
        _receivedData.clear();
        qWarning().noquote()
            << tr("Download of \"%1\" failed: \"%2\"").arg(QString::fromUtf8(url.toEncoded()), failure);
        emit requestFailed(url.toString());
    }
    emit requestCleanup();
}

} // namespace tarvesk::service
