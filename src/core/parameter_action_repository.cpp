#include "core/parameter_action_repository.h"

namespace tarvesk::core {

void ParameterActionRepository::addAction(const std::shared_ptr<IParameterAction>& action)
{
    if (action)
        _actions[action->getName()] = action;
}

std::shared_ptr<IParameterAction> ParameterActionRepository::getAction(const std::string& name) const
{
    auto it = _actions.find(name);
    return it == _actions.end() ? nullptr : it->second;
}

} // namespace tarvesk::core
