#pragma once

#include <QVariant>

#include <string>

namespace tarvesk::core {

class IParameter;

// A named way of reading or writing a parameter that a device registers for
// the parameters that name it in their action data (for example the feature
// scripts' "script_read" and "script_write", or the DALI memory-bank actions).
class IParameterAction
{
public:
    virtual ~IParameterAction() = default;

    virtual std::string getName() const = 0;
    // Reads into the parameter (the value is invalid) or writes the value.
    // Returns the bus status: 0 for success, a negative code otherwise, so that
    // a failed bus access is never reported as a successful read or write.
    // May throw ParameterError.
    virtual int execute(IParameter* parameter, QVariant value) = 0;
};

} // namespace tarvesk::core
