#pragma once

#include <cstddef>

struct MHD_Connection;

namespace tarvesk::network {

// Decodes the percent escapes of a request's path and arguments in place, as
// libmicrohttpd does by default, except "%00": a NUL in the decoded text would
// end it there for every C string reader, so that "/debug%00/../x" would be
// taken for "/debug". Left encoded, it stays part of the path (which then
// names nothing) or of the value.
class UrlUnescape
{
public:
    // The decoded text replaces text (NUL-terminated); returns its length.
    static std::size_t decode(char* text);
    // libmicrohttpd's MHD_OPTION_UNESCAPE_CALLBACK.
    static std::size_t callback(void* closure, MHD_Connection* connection, char* text);
};

} // namespace tarvesk::network
