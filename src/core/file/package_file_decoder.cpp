#include "core/file/package_file_decoder.h"

#include "core/core_errors.h"
#include "core/file/qcompress_inflater.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QVector>
#include <utility>

namespace tarvesk::core {

namespace {

// The record stream is written with the defaults of Qt 5.15's QDataStream; the
// version is pinned so that a later Qt cannot change what we write.
constexpr QDataStream::Version streamVersion = QDataStream::Qt_5_15;
constexpr int compressionLevel = 9;

[[noreturn]] void throwFileError(const QString& text)
{
    throw FileError(text.toStdString());
}

[[noreturn]] void throwDamaged(const QString& path, const QString& reason)
{
    throwFileError(QStringLiteral("Package file is damaged: %1 (%2)").arg(path, reason));
}

QByteArray inflatePayload(const QByteArray& packageBytes, const QString& path)
{
    const auto inflated = QCompressInflater::inflate(packageBytes, PackageFileDecoder::maximumPayloadSize);
    switch (inflated.status) {
    case QCompressInflater::Status::Ok:
        return inflated.data;
    case QCompressInflater::Status::TooShort:
        throwDamaged(path, QStringLiteral("shorter than its length header"));
    case QCompressInflater::Status::TooLarge:
        throwDamaged(path,
            QStringLiteral("the compressed data cannot be uncompressed: it announces %1 bytes, "
                           "more than the limit of %2")
                .arg(inflated.announced)
                .arg(PackageFileDecoder::maximumPayloadSize));
    case QCompressInflater::Status::Damaged:
        break;
    }
    throwDamaged(path, QStringLiteral("the compressed data cannot be uncompressed"));
}

} // namespace

PackageFileDecoder::PackageFileDecoder(QString folderPath, QString packageFileName)
    : _folderPath(std::move(folderPath))
    , _packageFileName(std::move(packageFileName))
{ }

PackageFileDecoder::~PackageFileDecoder() = default;

QString PackageFileDecoder::packageFilePath() const
{
    return QStringLiteral("%1/%2").arg(_folderPath, _packageFileName);
}

bool PackageFileDecoder::exists() const
{
    return QFileInfo::exists(packageFilePath());
}

void PackageFileDecoder::openAndDecodeFile()
{
    QFile file(packageFilePath());
    if (!file.exists()) {
        const QString text = QStringLiteral("Package File does not exist: %1").arg(packageFilePath());
        qCritical().noquote() << text;
        throwFileError(text);
    }
    if (!file.open(QIODevice::ReadOnly))
        throwFileError(QStringLiteral("Could not open file %1").arg(file.fileName()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throwFileError(QStringLiteral("Could not read file %1: %2").arg(file.fileName(), file.errorString()));
    file.close();
    decodeData(bytes);
}

void PackageFileDecoder::decodeData(const QByteArray& packageBytes)
{
    const QString path = packageFilePath();
    if (packageBytes.isEmpty())
        return;
    const QByteArray payload = decryptData(inflatePayload(packageBytes, path));

    QDataStream in(payload);
    in.setVersion(streamVersion);
    QVector<std::pair<QString, QByteArray>> records;
    while (!in.atEnd()) {
        // The leading length fields repeat what the name's and the data's own
        // byte counts say. The data package comes from a separate packer, so
        // they are read past and not compared: a reader stricter than the
        // format would refuse a package whose contents are whole.
        qint32 nameLength = 0;
        QString name;
        qint32 dataLength = 0;
        QByteArray data;
        in >> nameLength >> name >> dataLength >> data;
        if (in.status() != QDataStream::Ok)
            throwDamaged(path, QStringLiteral("record %1 is cut short").arg(records.size() + 1));
        records.append({name, data});
    }
    // Only a package read whole is added: a damaged one leaves the decoder as it was.
    for (const auto& record : std::as_const(records))
        addFile(record.first, record.second);
}

QStringList PackageFileDecoder::fileNames() const
{
    return _fileNames;
}

QMap<QString, QByteArray> PackageFileDecoder::filesDataMap() const
{
    return _files;
}

QByteArray PackageFileDecoder::fileToByteArray(const QString& name) const
{
    const QString key = name.toLower();
    const auto it = _files.constFind(key);
    if (it == _files.constEnd())
        throw FileError("File not found in package: " + key.toStdString());
    return it.value();
}

void PackageFileDecoder::addFile(const QString& name, const QByteArray& data)
{
    const QString key = name.toLower();
    _fileNames.append(key);
    _files.insert(key, data);
}

void PackageFileDecoder::openDir(const QString& folderPath)
{
    const QDir dir(folderPath);
    if (!dir.exists())
        throwFileError(QStringLiteral("Folder does not exist: %1").arg(folderPath));
    const QString root = QDir::cleanPath(dir.absolutePath());
    const QString folderName = QFileInfo(root).fileName();

    // Hidden entries are not listed (QDir::Hidden is not set) and links to
    // folders are not followed, so a link cannot pull a foreign tree in.
    QStringList paths;
    QDirIterator it(root, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();

    QVector<std::pair<QString, QByteArray>> files;
    for (const QString& path : std::as_const(paths)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throwFileError(QStringLiteral("Could not read file %1: %2").arg(path, file.errorString()));
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throwFileError(QStringLiteral("Could not read file %1: %2").arg(path, file.errorString()));
        files.append({folderName + QLatin1Char('/') + QDir(root).relativeFilePath(path), data});
    }
    for (const auto& file : std::as_const(files))
        addFile(file.first, file.second);
}

void PackageFileDecoder::encodeDirToFile(const QString& folderPath)
{
    openDir(folderPath);
    writePackageFile();
}

void PackageFileDecoder::writePackageFile() const
{
    QSaveFile file(packageFilePath());
    if (!file.open(QIODevice::WriteOnly))
        throwFileError(
            QStringLiteral("Could not write package file %1: %2").arg(file.fileName(), file.errorString()));
    const QByteArray bytes = encodePackage(_files);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throwFileError(
            QStringLiteral("Could not write package file %1: %2").arg(file.fileName(), file.errorString()));
}

void PackageFileDecoder::deletePackageFile() const
{
    if (exists())
        QFile::remove(packageFilePath());
}

QByteArray PackageFileDecoder::encodePackage(const QMap<QString, QByteArray>& files)
{
    QByteArray stream;
    {
        QDataStream out(&stream, QIODevice::WriteOnly);
        out.setVersion(streamVersion);
        for (auto it = files.constBegin(); it != files.constEnd(); ++it)
            out << qint32(it.key().size()) << it.key() << qint32(it.value().size()) << it.value();
    }
    return qCompress(encryptData(stream), compressionLevel);
}

QByteArray PackageFileDecoder::decryptData(QByteArray data)
{
    char* bytes = data.data();
    for (int i = 0; i < data.size(); ++i)
        bytes[i] = char(static_cast<unsigned char>(bytes[i]) ^ packageKey);
    return data;
}

QByteArray PackageFileDecoder::encryptData(QByteArray data)
{
    return decryptData(std::move(data));
}

} // namespace tarvesk::core
