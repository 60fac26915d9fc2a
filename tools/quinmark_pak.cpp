// quinmark-pak: command-line access to package files.
//
//   quinmark-pak pack <folder> <package-file>     pack a folder tree (names begin with the folder's name)
//   quinmark-pak unpack <package-file> <folder>   write every file of a package below a folder
//   quinmark-pak ls <package-file>                list the names and sizes of the files of a package

#include "core/core_errors.h"
#include "core/file/package_file_decoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

using tarvesk::core::PackageFileDecoder;

namespace {

int usage()
{
    std::fputs("usage: quinmark-pak pack <folder> <package-file>\n"
               "       quinmark-pak unpack <package-file> <folder>\n"
               "       quinmark-pak ls <package-file>\n",
        stderr);
    return 2;
}

PackageFileDecoder decoderFor(const QString& packagePath)
{
    const QFileInfo info(packagePath);
    return PackageFileDecoder(info.absolutePath(), info.fileName());
}

// A package comes from outside: its names must stay below the output folder.
bool isSafeName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1Char(':')))
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

int pack(const QString& folder, const QString& packagePath)
{
    PackageFileDecoder decoder = decoderFor(packagePath);
    decoder.encodeDirToFile(folder);
    // Read the result back so that a package that does not decode is never left in place silently.
    PackageFileDecoder check = decoderFor(packagePath);
    check.openAndDecodeFile();
    if (check.filesDataMap() != decoder.filesDataMap()) {
        std::fprintf(stderr, "quinmark-pak: %s does not read back as written\n", qPrintable(packagePath));
        return 1;
    }
    std::printf("%d files packed into %s\n", int(decoder.filesDataMap().size()), qPrintable(packagePath));
    return 0;
}

int unpack(const QString& packagePath, const QString& folder)
{
    PackageFileDecoder decoder = decoderFor(packagePath);
    decoder.openAndDecodeFile();
    const QMap<QString, QByteArray> files = decoder.filesDataMap();
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        if (!isSafeName(it.key())) {
            std::fprintf(stderr, "quinmark-pak: refusing unsafe name \"%s\"\n", qPrintable(it.key()));
            return 1;
        }
    }
    const QDir root(folder);
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const QString path = root.filePath(it.key());
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            std::fprintf(stderr, "quinmark-pak: cannot create the folder of %s\n", qPrintable(path));
            return 1;
        }
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(it.value()) != it.value().size() || !out.commit()) {
            std::fprintf(stderr, "quinmark-pak: cannot write %s: %s\n", qPrintable(path),
                qPrintable(out.errorString()));
            return 1;
        }
    }
    std::printf("%d files unpacked into %s\n", int(files.size()), qPrintable(folder));
    return 0;
}

int list(const QString& packagePath)
{
    PackageFileDecoder decoder = decoderFor(packagePath);
    decoder.openAndDecodeFile();
    const QMap<QString, QByteArray> files = decoder.filesDataMap();
    for (auto it = files.constBegin(); it != files.constEnd(); ++it)
        std::printf("%10d  %s\n", int(it.value().size()), qPrintable(it.key()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 3 && args[0] == QLatin1String("pack"))
            return pack(args[1], args[2]);
        if (args.size() == 3 && args[0] == QLatin1String("unpack"))
            return unpack(args[1], args[2]);
        if (args.size() == 2 && args[0] == QLatin1String("ls"))
            return list(args[1]);
    } catch (const tarvesk::core::FileError& e) {
        std::fprintf(stderr, "quinmark-pak: %s\n", e.what());
        return 1;
    }
    return usage();
}
