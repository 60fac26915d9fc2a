#pragma once

#include <QtGlobal>

namespace tarvesk::network {

// A reply body made while it is sent, a piece at a time, for bodies too large
// to hold whole in memory once per client. Its size is not known beforehand:
// the reply goes out chunked (for HEAD, the body is made once to count it).
// The server owns it from the moment the reply is queued and deletes it once
// the reply has gone or the client has left.
class HttpBodySource
{
public:
    virtual ~HttpBodySource() = default;
    // Writes the next bytes of the body, at most maxSize, to data; returns how
    // many, 0 once the body is complete.
    virtual qint64 read(char* data, qint64 maxSize) = 0;
};

} // namespace tarvesk::network
