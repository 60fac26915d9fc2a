#pragma once

#include "network/body_budget.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <memory>

struct MHD_PostProcessor;

namespace tarvesk::network {

class HttpSession;

// One HTTP request as libmicrohttpd delivers it: created on the first call of
// the access handler and deleted when libmicrohttpd reports it completed.
class HttpRequest
{
public:
    // Bodies larger than this are refused with 413 instead of being buffered.
    static constexpr qint64 MaxBodySize = 16 * 1024 * 1024;
    // After a body of this size the allocator is asked to return its free memory.
    static constexpr qint64 ReleaseMemoryBodySize = 256 * 1024;

    HttpRequest(const QString& method, const QString& url);
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    void setSession(std::shared_ptr<HttpSession> session);
    std::shared_ptr<HttpSession> getSession() const { return session; }
    QString getMethod() const { return method; }

    // Why a body is not taken: over MaxBodySize, no room in the budget of all
    // bodies, or memory that could not be had for it.
    enum class BodyRefusal { None, TooLarge, NoRoom, NoMemory };

    // The budget the body takes its room from as it arrives (a POST's, set
    // before any of it comes).
    void setBodyRoom(BodyBudget::Reservation room);
    BodyBudget::Reservation& bodyRoom() { return room; }
    // Makes the body's room `total` bytes, waiting up to `patience` for it,
    // and the buffer that large (throws std::bad_alloc when that cannot be
    // had); false when the budget has no room for it by then.
    bool growBodyRoom(qint64 total, std::chrono::milliseconds patience);
    // Within the room taken: the buffer grows to it (throws std::bad_alloc
    // when that cannot be had).
    void appendUploadData(const char* data, unsigned long size);
    QByteArray getUploadData() const { return uploadData; }
    // Drops the body and gives its room back once it was handled.
    void releaseBody();
    // Marks the body as refused: what was buffered is dropped, its room given
    // back, and further chunks are discarded.
    void refuseBody(BodyRefusal why = BodyRefusal::TooLarge);
    bool isBodyRefused() const { return bodyRefusal != BodyRefusal::None; }
    BodyRefusal whyBodyRefused() const { return bodyRefusal; }

    QString getHeaderItem(const QString& name) const;
    void addHeaderItem(const QString& name, const QString& value);
    void addQueryItem(const QString& key, const QString& value);
    QUrl getURL() const { return parsedUrl(); }
    void setUrlPath(const QString& path);

    bool setPostRequestIterator(MHD_PostProcessor* processor);
    MHD_PostProcessor* getPostProcessor() const { return postProcessor; }

    void debugPrint() const;

private:
    QUrl& parsedUrl() const;

    QString method;
    QString urlText;
    mutable QUrl url; // parsed from urlText on first use
    mutable bool urlParsed = false;
    QUrlQuery query;
    MHD_PostProcessor* postProcessor = nullptr; // never used: the body is collected raw
    BodyBudget::Reservation room; // given back once uploadData is gone: declared before it
    QByteArray uploadData;
    QHash<QString, QString> headers;
    std::shared_ptr<HttpSession> session;
    BodyRefusal bodyRefusal = BodyRefusal::None;
    qint64 receivedBytes = 0; // body bytes buffered, also those a later refusal dropped
};

} // namespace tarvesk::network
