#pragma once

#include "core/iparameter_action.h"

#include <map>
#include <memory>
#include <string>

namespace tarvesk::core {

// The named parameter actions of one device.
class ParameterActionRepository
{
public:
    // Stores the action under its name, replacing an earlier one of that name.
    void addAction(const std::shared_ptr<IParameterAction>& action);
    // The action of that name, or null.
    std::shared_ptr<IParameterAction> getAction(const std::string& name) const;
    int count() const { return int(_actions.size()); }

private:
    std::map<std::string, std::shared_ptr<IParameterAction>> _actions;
};

} // namespace tarvesk::core
