#include "core/database/feature_record.h"

#include <utility>

namespace tarvesk::core {

FeatureRecord::FeatureRecord(std::string name, std::string displayName, std::vector<std::string> list)
    : _name(std::move(name))
    , _displayName(std::move(displayName))
    , _list(std::move(list))
{ }

} // namespace tarvesk::core
