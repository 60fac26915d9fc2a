// Decodes arbitrary bytes as a package file. The first byte picks how the rest
// is used: as the package bytes themselves (even), or as a record stream that
// is scrambled and compressed first (odd), so that the mutations also reach the
// record reader behind the zlib layer. A package that decodes must encode and
// decode again to the same files.
#include "core/core_errors.h"
#include "core/file/package_file_decoder.h"
#include "quiet_log.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

using tarvesk::core::FileError;
using tarvesk::core::PackageFileDecoder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogOnce();
    if (size < 1 || size > 1024 * 1024)
        return 0;

    const QByteArray rest(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const QByteArray package = (data[0] & 1) ? qCompress(PackageFileDecoder::encryptData(rest), 9) : rest;

    PackageFileDecoder decoder(QStringLiteral("/nonexistent"), QStringLiteral("data.1"));
    try {
        decoder.decodeData(package);
    } catch (const FileError&) {
        if (!decoder.fileNames().isEmpty())
            std::abort(); // a damaged package must leave the decoder as it was
        return 0;
    }

    const QMap<QString, QByteArray> files = decoder.filesDataMap();
    PackageFileDecoder again(QStringLiteral("/nonexistent"), QStringLiteral("data.1"));
    again.decodeData(PackageFileDecoder::encodePackage(files));
    if (again.filesDataMap() != files)
        std::abort();
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        if (decoder.fileToByteArray(it.key()) != it.value())
            std::abort();
    }
    return 0;
}
