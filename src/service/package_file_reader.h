#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace tarvesk::service {

// What the "/data" handler needs of a data package reader: decode the whole
// package once, then hand out its entries by name. Both calls throw
// core::FileError when the package or an entry cannot be had.
class PackageFileReader
{
public:
    virtual ~PackageFileReader() = default;
    virtual void openAndDecodeFile() = 0;
    virtual QByteArray fileToByteArray(const QString& name) const = 0;
};

// Makes the reader for the package file fileName in the folder path.
using PackageFileReaderFactory
    = std::function<std::unique_ptr<PackageFileReader>(const QString& path, const QString& fileName)>;

// The reader of the service's data package format.
PackageFileReaderFactory defaultPackageFileReaderFactory();

} // namespace tarvesk::service
