#include "network/request_framing.h"

#include "network/http_response.h"

#include <QByteArray>
#include <QList>

#include <microhttpd.h>

#include <strings.h>

namespace tarvesk::network {

namespace {

struct Framing
{
    QList<QByteArray> lengths; // every Content-Length value, a list split at its commas
    QList<QByteArray> codings; // every Transfer-Encoding value, likewise, in lower case
};

MHD_Result collectFraming(void* closure, MHD_ValueKind, const char* key, const char* value)
{
    auto* framing = static_cast<Framing*>(closure);
    if (!key)
        return MHD_YES;
    if (::strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0) {
        for (const QByteArray& length : QByteArray(value ? value : "").split(','))
            framing->lengths.append(length.trimmed());
    } else if (::strcasecmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0) {
        for (const QByteArray& coding : QByteArray(value ? value : "").split(','))
            framing->codings.append(coding.trimmed().toLower());
    }
    return MHD_YES;
}

} // namespace

std::unique_ptr<HttpResponse> RequestFraming::refusalFor(MHD_Connection* connection)
{
    Framing framing;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectFraming, &framing);
    const char* why = nullptr;
    if (!framing.codings.isEmpty() && !framing.lengths.isEmpty()) {
        why = "Request has both Transfer-Encoding and Content-Length.";
    } else if (!framing.codings.isEmpty() && framing.codings != QList<QByteArray> {"chunked"}) {
        // libmicrohttpd reads chunked alone; with any other coding (or
        // chunked beside another) the body would be taken to end only when
        // the client closes, and the request would never be answered.
        why = "Request has a Transfer-Encoding other than chunked alone.";
    } else {
        // The same length repeated says one thing, and is taken.
        for (const QByteArray& length : framing.lengths) {
            if (length != framing.lengths.first())
                why = "Request has conflicting Content-Length values.";
        }
    }
    if (!why)
        return nullptr;
    auto refusal = std::make_unique<HttpResponse>();
    refusal->setStatusCode(MHD_HTTP_BAD_REQUEST);
    refusal->setContentType(QStringLiteral("text/plain"));
    refusal->setData(QByteArray(why));
    return refusal;
}

} // namespace tarvesk::network
