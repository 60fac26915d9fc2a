#pragma once

#include <microhttpd.h>

#include <cstdarg>

namespace tarvesk::network {

// The functions libmicrohttpd calls on its connection threads, each given the
// HttpServer as its closure. They turn libmicrohttpd's calls into an
// HttpRequest for the installed handler and its HttpResponse into a reply, and
// keep the server's books on connections and requests.
class MhdCallbacks
{
public:
    // MHD_AccessHandlerCallback: called for the headers, each body chunk and
    // the end of a request.
    static MHD_Result access(void* server, MHD_Connection* connection, const char* url, const char* method,
        const char* version, const char* uploadData, size_t* uploadDataSize, void** context);
    // MHD_OPTION_NOTIFY_COMPLETED: the request's reply has gone or it failed.
    static void requestCompleted(
        void* server, MHD_Connection* connection, void** context, MHD_RequestTerminationCode code);
    // MHD_OPTION_NOTIFY_CONNECTION: a connection was taken up or is closing.
    static void connectionNotified(
        void* server, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code);
    // MHD_OPTION_EXTERNAL_LOGGER: libmicrohttpd's messages go to the log, not
    // to standard error.
    static void logMessage(void* server, const char* format, va_list arguments);

private:
    static MHD_Result serve(void* server, MHD_Connection* connection, const char* url, const char* method,
        const char* version, const char* uploadData, size_t* uploadDataSize, void** context);
    // The reply to a request whose handling threw: 503 for memory that could
    // not be had, 500 for anything else.
    static MHD_Result fail(MHD_Connection* connection, size_t* uploadDataSize, void** context, unsigned status);
};

} // namespace tarvesk::network
