#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariant>

class QNetworkAccessManager;
class QNetworkReply;

namespace tarvesk::service {

// A HEAD request on a network access manager; reports the reply's headers.
class HttpHeadRequest : public QObject
{
    Q_OBJECT

public:
    explicit HttpHeadRequest(QNetworkAccessManager* manager);

    virtual void startRequest(const QUrl& url);

signals:
    void requestHeader(QMap<QString, QVariant> headersMap);
    void requestFailed(QString urlString);

public slots:
    void metaDataChanged();

protected:
    QNetworkAccessManager* _manager;
    QPointer<QNetworkReply> _reply;
};

} // namespace tarvesk::service
