#pragma once

#include "service/database/http_head_request.h"

#include <QByteArray>
#include <QTimer>

namespace tarvesk::service {

// A GET request that collects the body of the reply. A download counts only
// when the server answers HTTP 200 within the size cap and the time-out; any
// other outcome is a failure (requestFailed), never a partial or error page
// passed off as the file.
class HttpFileRequest : public HttpHeadRequest
{
    Q_OBJECT

public:
    static constexpr qint64 defaultMaximumSize = 64 * 1024 * 1024;
    static constexpr int defaultTimeoutMs = 120 * 1000;

    explicit HttpFileRequest(QNetworkAccessManager* manager);

    void setMaximumSize(qint64 bytes) { _maximumSize = bytes; }
    void setTimeout(int milliseconds) { _timeoutMs = milliseconds; }

    void startRequest(const QUrl& url) override;

signals:
    void requestCleanup();
    void requestDone(QString urlString, QByteArray receivedData);
    void requestProgress(qint64 bytesReceived, qint64 bytesAvailable);

public slots:
    void requestFinished();

private:
    void abortWith(const QString& reason);
    void checkSize(qint64 bytes);

    QByteArray _receivedData;
    qint64 _maximumSize = defaultMaximumSize;
    int _timeoutMs = defaultTimeoutMs;
    QTimer _deadline;
    QString _abortReason;
};

} // namespace tarvesk::service
