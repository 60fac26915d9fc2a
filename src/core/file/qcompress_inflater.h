#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarvesk::core {

// The inverse of qCompress that never allocates beyond a limit: qUncompress
// trusts the 4-byte length header for its first allocation and doubles its
// buffer whenever the output does not fit (also on a stream cut short), so a
// small hostile file could cost gigabytes. Here the buffer grows only with the
// output actually produced, and a header that announces more than the limit is
// refused before anything is inflated.
//
// Layout read: bytes 0 to 3 the uncompressed length (32-bit big-endian), then a
// zlib stream (RFC 1950) that must end within that length.
class QCompressInflater
{
public:
    enum class Status {
        Ok,
        TooShort, // fewer than the 4 bytes of the length header
        TooLarge, // the header announces more than the limit
        Damaged,  // not a zlib stream, cut short, or longer than announced
    };

    struct Result
    {
        Status status = Status::Damaged;
        QByteArray data;       // the uncompressed bytes when Ok, else empty
        quint32 announced = 0; // the length the header announces (0 when TooShort)
    };

    static Result inflate(const QByteArray& compressed, quint32 maximumSize);
};

} // namespace tarvesk::core
