#include "core/file/packaged_file_loader.h"

#include "core/file/package_file_decoder.h"

#include <QString>
#include <utility>

namespace tarvesk::core {

PackagedFileLoader::PackagedFileLoader(std::shared_ptr<PackageFileDecoder> decoder)
    : _decoder(std::move(decoder))
{ }

QByteArray PackagedFileLoader::loadFile(const std::string& name) const
{
    return _decoder->fileToByteArray(QString::fromStdString(name));
}

} // namespace tarvesk::core
