#pragma once

#include <QByteArray>
#include <string>

namespace tarvesk::core {

// A source of named files (the script engine reads its library through it).
class IFileLoader
{
public:
    virtual ~IFileLoader() = default;
    virtual QByteArray loadFile(const std::string& name) const = 0;
};

} // namespace tarvesk::core
