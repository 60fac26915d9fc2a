#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tarvesk::service {

class HttpFileRequest;

// Fetches one remote file (serverUrl() + queryUrl()) into the target folder,
// asynchronously on the thread that owns the downloader. Every run ends with
// completed() and exactly one result().
class AbstractRemoteDownloader : public QObject
{
    Q_OBJECT

public:
    explicit AbstractRemoteDownloader(QObject* parent = nullptr);

    // The application's writable data folder, followed by "/".
    virtual QString targetFolder() const;
    virtual QString serverUrl() const = 0;
    virtual QString queryUrl() const = 0;

    // Starts one download and returns its request, which deletes itself once it
    // has reported; null when there is no server to ask (nothing is reported then).
    HttpFileRequest* execute();

    QString targetFileName() const { return _targetFileName; }
    void setTargetFileName(const QString& name) { _targetFileName = name; }
    bool compress() const { return _compress; }
    void setCompress(bool compress) { _compress = compress; }

    // Limits of one download: the largest accepted file and the time it may take.
    void setMaximumSize(qint64 bytes) { _maximumSize = bytes; }
    void setTimeout(int milliseconds) { _timeoutMs = milliseconds; }

signals:
    void completed();
    void result(QString url, bool isSuccessfulDownloaded, QString message = QString());

public slots:
    virtual void remoteResponseReceivedHandler(QString url, QByteArray byteArray);
    void remoteResponseFailedHandler(QString url);

private:
    QString _targetFileName = QStringLiteral("download.json");
    bool _compress = false;
    qint64 _maximumSize;
    int _timeoutMs;
};

} // namespace tarvesk::service
