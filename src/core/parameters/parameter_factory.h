#pragma once

#include "core/parameters/iparameter_factory.h"

namespace tarvesk::core {

// Makes the built-in driver parameter of an identifier, and a plain
// parameter (type number, access level "dev", maximum 255) for every other
// text, which the caller then defines. It refuses nothing: feature scripts
// add parameters under names of their own.
class ParameterFactory : public IParameterFactory
{
public:
    IParameter* create(const QString& identifier) const override;
};

} // namespace tarvesk::core
