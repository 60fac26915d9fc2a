#include "core/file/qcompress_inflater.h"

#include <QtEndian>
#include <gtest/gtest.h>
#include <zlib.h>

using tarvesk::core::QCompressInflater;
using Status = QCompressInflater::Status;

namespace {

// The layout built with zlib itself, not with qCompress: 4-byte big-endian
// length, then the zlib stream of the bytes.
QByteArray framed(const QByteArray& plain, quint32 announced)
{
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray stream(int(size), '\0');
    compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
        reinterpret_cast<const Bytef*>(plain.constData()), uLong(plain.size()), Z_DEFAULT_COMPRESSION);
    stream.resize(int(size));
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(announced, out.data());
    return out + stream;
}

} // namespace

TEST(QCompressInflaterTest, InflatesWithinTheAnnouncedLengthAndTheLimit)
{
    const QByteArray text = QByteArray("[{\"name\": \"a\"}]").repeated(2000);
    const quint32 length = quint32(text.size());
    const QByteArray honest = framed(text, length);

    struct Case
    {
        const char* what;
        QByteArray bytes;
        quint32 limit;
        Status status;
        QByteArray data;
    };
    const Case cases[] = {
        {"honest header", honest, 32u << 20, Status::Ok, text},
        {"output exactly at the limit", honest, length, Status::Ok, text},
        {"qCompress of the same text", qCompress(text), 32u << 20, Status::Ok, text},
        {"empty text, bare header", QByteArray(4, '\0'), 16, Status::Ok, QByteArray()},
        {"header overstates: taken as qUncompress takes it", framed(text, length + 100), 32u << 20,
            Status::Ok, text},
        {"header announces more than the limit", honest, length - 1, Status::TooLarge, QByteArray()},
        {"header announces 4 GiB", framed(text, 0xFFFFFFFFu), 32u << 20, Status::TooLarge, QByteArray()},
        {"header understates", framed(text, length - 1), 32u << 20, Status::Damaged, QByteArray()},
        {"stream cut short", honest.left(honest.size() / 2), 32u << 20, Status::Damaged, QByteArray()},
        {"plain text, not compressed", text, 0xFFFFFFFFu, Status::Damaged, QByteArray()},
        {"three bytes", QByteArray(3, '\0'), 16, Status::TooShort, QByteArray()},
        {"nothing", QByteArray(), 16, Status::TooShort, QByteArray()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = QCompressInflater::inflate(c.bytes, c.limit);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.data, c.data);
    }
}
