#pragma once

#include "core/file/ifile_loader.h"

#include <memory>

namespace tarvesk::core {

class PackageFileDecoder;

// Files out of a package; a missing name throws the decoder's FileError.
class PackagedFileLoader : public IFileLoader
{
public:
    explicit PackagedFileLoader(std::shared_ptr<PackageFileDecoder> decoder);

    QByteArray loadFile(const std::string& name) const override;

private:
    std::shared_ptr<PackageFileDecoder> _decoder;
};

} // namespace tarvesk::core
