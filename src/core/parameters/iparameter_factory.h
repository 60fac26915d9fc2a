#pragma once

#include <QString>

namespace tarvesk::core {

class IParameter;

// Turns a parameter identifier into a new parameter object of the right class.
class IParameterFactory
{
public:
    virtual ~IParameterFactory() = default;
    // A new parameter that the caller owns.
    virtual IParameter* create(const QString& identifier) const = 0;
};

} // namespace tarvesk::core
