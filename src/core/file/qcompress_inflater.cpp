#include "core/file/qcompress_inflater.h"

#include <QtEndian>
#include <zlib.h>

namespace tarvesk::core {

QCompressInflater::Result QCompressInflater::inflate(const QByteArray& compressed, quint32 maximumSize)
{
    Result result;
    if (compressed.size() < 4) {
        result.status = Status::TooShort;
        return result;
    }
    result.announced = qFromBigEndian<quint32>(compressed.constData());
    if (result.announced > maximumSize) {
        result.status = Status::TooLarge;
        return result;
    }
    // qCompress writes an empty input as the bare header, with no zlib stream.
    if (result.announced == 0 && compressed.size() == 4) {
        result.status = Status::Ok;
        return result;
    }
    z_stream zs {};
    if (inflateInit(&zs) != Z_OK)
        return result;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData() + 4));
    zs.avail_in = uInt(compressed.size() - 4);

    constexpr quint32 step = 1024 * 1024;
    const quint32 announced = result.announced;
    QByteArray output;
    int status = Z_OK;
    while (status == Z_OK) {
        const quint32 have = quint32(zs.total_out);
        const quint32 room = qMin(announced - have, step);
        if (room == 0) {
            // Full: the stream must end here, without producing a further byte.
            char probe;
            zs.next_out = reinterpret_cast<Bytef*>(&probe);
            zs.avail_out = 1;
            status = ::inflate(&zs, Z_NO_FLUSH);
            if (status != Z_STREAM_END || zs.avail_out == 0)
                status = Z_DATA_ERROR;
            break;
        }
        output.resize(int(have + room));
        zs.next_out = reinterpret_cast<Bytef*>(output.data() + have);
        zs.avail_out = uInt(room);
        status = ::inflate(&zs, Z_NO_FLUSH);
        output.resize(int(zs.total_out));
    }
    inflateEnd(&zs);
    // A stream that ends before the announced length is taken as it is, as
    // qUncompress takes it: the header only bounds the output.
    if (status != Z_STREAM_END)
        return result;
    result.status = Status::Ok;
    result.data = output;
    return result;
}

} // namespace tarvesk::core
