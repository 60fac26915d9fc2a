#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace tarvesk::core {

// Reader and writer of package files ("data.1", "fw.pak"): a whole folder tree
// kept in one file as a stream of (name, data) records, scrambled with a
// one-byte key and compressed with qCompress.
//
// Names are held in lower case and begin with the packed folder's own name
// ("data/product_database/constants.js"). Every failure to read or write a
// package throws tarvesk::core::FileError, so that callers such as the "/data"
// handler need to catch one type only.
class PackageFileDecoder
{
public:
    static constexpr unsigned char packageKey = 0x9E;
    // The largest record stream a package may hold once uncompressed.
    static constexpr quint32 maximumPayloadSize = 512u * 1024 * 1024;

    PackageFileDecoder(QString folderPath, QString packageFileName);
    virtual ~PackageFileDecoder();

    QString packageFilePath() const;
    bool exists() const;

    // Reads the package file and adds every record. A missing, unreadable or
    // damaged package (bad compression, a record cut short) throws FileError and
    // leaves the decoder as it was; an empty file holds no records.
    void openAndDecodeFile();

    // Decodes package bytes as read from a package file; same rules as above.
    void decodeData(const QByteArray& packageBytes);

    QStringList fileNames() const;
    QMap<QString, QByteArray> filesDataMap() const;

    // The data of a file by its name, compared in lower case; FileError when
    // the package does not hold it.
    virtual QByteArray fileToByteArray(const QString& name) const;

    void addFile(const QString& name, const QByteArray& data);

    // Adds every regular, non-hidden file below the folder. A file that cannot
    // be read throws FileError: a package must never silently hold empty data
    // in place of a file.
    void openDir(const QString& folderPath);

    // openDir, then writePackageFile.
    void encodeDirToFile(const QString& folderPath);

    // Writes every file held into the package file, atomically (a temporary
    // file renamed into place), so a failed write never leaves a partial
    // package. Throws FileError on failure.
    void writePackageFile() const;

    void deletePackageFile() const;

    // The package bytes (compressed, scrambled record stream) of a file map.
    static QByteArray encodePackage(const QMap<QString, QByteArray>& files);

    static QByteArray decryptData(QByteArray data);
    static QByteArray encryptData(QByteArray data);

private:
    QString _folderPath;
    QString _packageFileName;
    QStringList _fileNames;
    QMap<QString, QByteArray> _files;
};

} // namespace tarvesk::core
