#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

namespace tarvesk::network {

class HttpBodySource;

// The reply that a request handler fills and the access handler sends.
class HttpResponse
{
public:
    using HeaderIterator = QHash<QString, QString>::const_iterator;

    HttpResponse();
    ~HttpResponse();
    HttpResponse(HttpResponse&&) noexcept;
    HttpResponse& operator=(HttpResponse&&) noexcept;

    void addHeaderItem(const QString& name, const QString& value);
    QString getHeaderItem(const QString& name) const;
    QByteArray getData() const { return data; }
    void setData(const QByteArray& bytes) { data = bytes; }
    // A body made while it is sent, in place of the data.
    void setBodySource(std::unique_ptr<HttpBodySource> source);
    HttpBodySource* getBodySource() const { return bodySource.get(); }
    std::unique_ptr<HttpBodySource> takeBodySource();
    int getStatusCode() const { return statusCode; }
    void setStatusCode(int code) { statusCode = code; }
    void setContentType(const QString& type);
    HeaderIterator headersBegin() const { return headers.constBegin(); }
    HeaderIterator headersEnd() const { return headers.constEnd(); }
    int headerCount() const { return headers.size(); }
    void debugPrint() const;

private:
    QByteArray data;
    std::unique_ptr<HttpBodySource> bodySource;
    int statusCode = 500; // every handler path sets it; an unset one is a server error
    QHash<QString, QString> headers;
};

} // namespace tarvesk::network
