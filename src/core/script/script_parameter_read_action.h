#pragma once

#include "core/iparameter_action.h"

namespace tarvesk::core {

class Device;

// Reads a parameter through the get callback that a feature script stored on
// it: the callback is called with the device and the parameter and stores what
// it read in the parameter. A number it returns is the bus status.
class ScriptParameterReadAction : public IParameterAction
{
public:
    explicit ScriptParameterReadAction(Device* device);

    std::string getName() const override { return "script_read"; }
    int execute(IParameter* parameter, QVariant value) override;

private:
    Device* _device; // not owned
};

} // namespace tarvesk::core
