#include "network/url_unescape.h"

namespace tarvesk::network {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::size_t UrlUnescape::decode(char* text)
{
    char* out = text;
    for (const char* in = text; *in;) {
        if (in[0] == '%') {
            const int high = hexValue(in[1]);
            const int low = high < 0 ? -1 : hexValue(in[2]);
            const int byte = low < 0 ? -1 : high * 16 + low;
            if (byte > 0) {
                *out++ = char(byte);
                in += 3;
                continue;
            }
        }
        *out++ = *in++;
    }
    *out = '\0';
    return std::size_t(out - text);
}

std::size_t UrlUnescape::callback(void*, MHD_Connection*, char* text)
{
    return decode(text);
}

} // namespace tarvesk::network
