#include "core/database/group_record.h"

#include <utility>

namespace tarvesk::core {

GroupRecord::GroupRecord(std::string key, std::string name, bool abstract, std::vector<std::string> features,
    std::vector<std::string> includes)
    : _key(std::move(key))
    , _name(std::move(name))
    , _abstract(abstract)
    , _features(std::move(features))
    , _includes(std::move(includes))
{ }

void GroupRecord::addFeatures(const std::vector<std::string>& features)
{
    _features.insert(_features.end(), features.begin(), features.end());
}

} // namespace tarvesk::core
