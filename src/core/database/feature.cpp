#include "core/database/feature.h"

#include <algorithm>
#include <utility>

namespace tarvesk::core {

Feature::Feature(std::string id)
    : _id(std::move(id))
{ }

void Feature::addParameterIds(const std::vector<std::string>& ids)
{
    for (const std::string& id : ids) {
        if (std::find(_parameterIds.begin(), _parameterIds.end(), id) == _parameterIds.end())
            _parameterIds.push_back(id);
    }
}

} // namespace tarvesk::core
