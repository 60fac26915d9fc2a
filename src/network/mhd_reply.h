#pragma once

#include <cstddef>

struct MHD_Connection;

namespace tarvesk::network {

class HttpResponse;
class HttpSession;

// Queues replies on a libmicrohttpd connection: the handler layer's responses
// and the few fixed replies the server gives itself. Each returns what
// MHD_queue_response() said (MHD_NO, also when no response could be made,
// which makes libmicrohttpd close the connection).
class MhdReply
{
public:
    // Sends a response of the handler layer: its headers, the session's cookie
    // echo and its status. The body is handed over, not copied: libmicrohttpd
    // frees it (or the source that makes it) when the reply has gone. closing:
    // the server is going, and the reply says that the connection closes.
    static int queue(MHD_Connection* connection, HttpResponse& reply, const HttpSession* session, bool closing,
        bool toHead = false);
    // A fixed body that outlives the reply (a literal), with no extra headers
    // but its Content-Type, when one is given.
    static int queueFixed(MHD_Connection* connection, unsigned status, const char* data, std::size_t size,
        const char* contentType = nullptr);
    // The answer to a cross-origin preflight.
    static int queueOptions(MHD_Connection* connection);
};

} // namespace tarvesk::network
