#include "service/package_file_reader.h"

#include "core/file/package_file_decoder.h"

namespace tarvesk::service {

namespace {

class PackageFileDecoderReader : public PackageFileReader
{
public:
    PackageFileDecoderReader(const QString& path, const QString& fileName)
        : decoder(path, fileName)
    { }
    void openAndDecodeFile() override { decoder.openAndDecodeFile(); }
    QByteArray fileToByteArray(const QString& name) const override { return decoder.fileToByteArray(name); }

private:
    core::PackageFileDecoder decoder;
};

} // namespace

PackageFileReaderFactory defaultPackageFileReaderFactory()
{
    return [](const QString& path, const QString& fileName) -> std::unique_ptr<PackageFileReader> {
        return std::make_unique<PackageFileDecoderReader>(path, fileName);
    };
}

} // namespace tarvesk::service
