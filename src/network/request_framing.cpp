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
    bool transferEncoding = false;
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
        framing->transferEncoding = true;
    }
    return MHD_YES;
}

} // namespace

std::unique_ptr<HttpResponse> RequestFraming::refusalFor(MHD_Connection* connection)
{
    Framing framing;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectFraming, &framing);
    const char* why = nullptr;
    if (framing.transferEncoding && !framing.lengths.isEmpty()) {
        why = "Request has both Transfer-Encoding and Content-Length.";
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
    refusal->setData(QByteArray(why));
    return refusal;
}

} // namespace tarvesk::network
