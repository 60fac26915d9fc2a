#include "service/package_file_reader.h"

#include "core/core_errors.h"

namespace tarvesk::service {

namespace {

// Stands in until the data package decoder is part of the build: behaves as a
// package that is not there, so every "/data" request is a 404.
class MissingPackageReader : public PackageFileReader
{
public:
    explicit MissingPackageReader(QString path)
        : path(std::move(path))
    { }
    void openAndDecodeFile() override
    {
        throw core::FileError(QStringLiteral("Package File does not exist: %1").arg(path).toStdString());
    }
    QByteArray fileToByteArray(const QString& name) const override
    {
        throw core::FileError(QStringLiteral("File not found in package: %1").arg(name).toStdString());
    }

private:
    QString path;
};

} // namespace

PackageFileReaderFactory defaultPackageFileReaderFactory()
{
    return [](const QString& path, const QString& fileName) -> std::unique_ptr<PackageFileReader> {
        return std::make_unique<MissingPackageReader>(QStringLiteral("%1/%2").arg(path, fileName));
    };
}

} // namespace tarvesk::service
