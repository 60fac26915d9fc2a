#include "network/mhd_reply.h"

#include "network/http_body_source.h"
#include "network/http_response.h"
#include "network/http_session.h"

#include <QVarLengthArray>

#include <microhttpd.h>

#include <cstring>
#include <memory>
#include <vector>

namespace tarvesk::network {

namespace {

const char OptionsBody[] = "OPTIONS method.";
// The most a body source is asked for at once.
constexpr size_t BodySourceBlockSize = 32 * 1024;

// A header name or value as the NUL-terminated UTF-8 bytes libmicrohttpd
// copies; short texts (all of them, in practice) need no allocation.
class HeaderText
{
public:
    explicit HeaderText(const QString& text)
    {
        const int size = text.size();
        bool ascii = true;
        for (int i = 0; i < size && ascii; ++i)
            ascii = text.at(i).unicode() < 0x80;
        if (ascii) {
            bytes.resize(size + 1);
            for (int i = 0; i < size; ++i)
                bytes[i] = char(text.at(i).unicode());
            bytes[size] = '\0';
        } else {
            const QByteArray utf8 = text.toUtf8();
            bytes.resize(utf8.size() + 1);
            std::memcpy(bytes.data(), utf8.constData(), size_t(utf8.size()) + 1);
        }
    }
    const char* c_str() const { return bytes.constData(); }

private:
    QVarLengthArray<char, 128> bytes;
};

void releaseBody(void* body)
{
    delete static_cast<QByteArray*>(body);
}

ssize_t readBodySource(void* source, uint64_t, char* buffer, size_t maxSize)
{
    const qint64 size = static_cast<HttpBodySource*>(source)->read(buffer, qint64(maxSize));
    // Never 0: libmicrohttpd would ask again at once, for ever.
    return size > 0 ? ssize_t(size) : MHD_CONTENT_READER_END_OF_STREAM;
}

void releaseBodySource(void* source)
{
    delete static_cast<HttpBodySource*>(source);
}

MHD_Response* createMhdResponse(HttpResponse& reply, bool toHead)
{
    if (std::unique_ptr<HttpBodySource> source = reply.takeBodySource()) {
        uint64_t size = MHD_SIZE_UNKNOWN; // sent chunked
        if (toHead) {
            // libmicrohttpd ends a chunked reply to HEAD with the last (empty)
            // chunk, which the client takes for the start of the next reply.
            // A HEAD reply states the body's size instead, as for a GET with
            // a body in memory; the body is made once to count it.
            std::vector<char> block(BodySourceBlockSize);
            size = 0;
            qint64 made = 0;
            while ((made = source->read(block.data(), qint64(block.size()))) > 0)
                size += uint64_t(made);
        }
        MHD_Response* response = MHD_create_response_from_callback(
            size, BodySourceBlockSize, &readBodySource, source.get(), &releaseBodySource);
        if (response)
            source.release(); // libmicrohttpd deletes it now
        return response;
    }
    auto* body = new QByteArray(reply.getData());
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        size_t(body->size()), const_cast<char*>(body->constData()), &releaseBody, body);
    if (!response)
        delete body;
    return response;
}

} // namespace

int MhdReply::queue(
    MHD_Connection* connection, HttpResponse& reply, const HttpSession* session, bool closing, bool toHead)
{
    MHD_Response* response = createMhdResponse(reply, toHead);
    if (!response)
        return MHD_NO;
    for (auto it = reply.headersBegin(); it != reply.headersEnd(); ++it)
        MHD_add_response_header(response, HeaderText(it.key()).c_str(), HeaderText(it.value()).c_str());
    if (session) {
        const QString cookies = session->cookieHeader();
        if (!cookies.isEmpty())
            MHD_add_response_header(response, "Cookie", cookies.toLocal8Bit().constData());
    }
    // The server is going: a client that kept the connection for its next
    // request would find it closed.
    if (closing)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result result = MHD_queue_response(connection, unsigned(reply.getStatusCode()), response);
    MHD_destroy_response(response);
    return result;
}

int MhdReply::queueFixed(
    MHD_Connection* connection, unsigned status, const char* data, size_t size, const char* contentType)
{
    MHD_Response* response
        = MHD_create_response_from_buffer(size, const_cast<char*>(data), MHD_RESPMEM_PERSISTENT);
    if (!response)
        return MHD_NO;
    if (contentType)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

int MhdReply::queueOptions(MHD_Connection* connection)
{
    MHD_Response* response = MHD_create_response_from_buffer(
        sizeof OptionsBody - 1, const_cast<char*>(OptionsBody), MHD_RESPMEM_PERSISTENT);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, "Access-Control-Allow-Origin", "*");
    MHD_add_response_header(response, "Access-Control-Allow-Headers", "content-type");
    MHD_add_response_header(response, "Access-Control-Allow-Methods", "POST,GET,OPTIONS");
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

} // namespace tarvesk::network
