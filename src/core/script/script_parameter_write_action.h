#pragma once

#include "core/iparameter_action.h"

#include <QJSValue>

namespace tarvesk::core {

class Device;

// Writes a parameter through the set callback that a feature script stored on
// it: the callback is called with the device, the parameter and the value. A
// number it returns is the bus status.
class ScriptParameterWriteAction : public IParameterAction
{
public:
    explicit ScriptParameterWriteAction(Device* device);

    std::string getName() const override { return "script_write"; }
    int execute(IParameter* parameter, QVariant value) override;

    // The value as a script value: bool, number (int, unsigned, double) or
    // string; any other type throws ParameterError.
    static QJSValue addConvertedVariantToArgumentList(const QVariant& value);

private:
    Device* _device; // not owned
};

} // namespace tarvesk::core
