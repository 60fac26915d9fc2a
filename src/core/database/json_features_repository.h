#pragma once

#include "core/database/feature_record.h"
#include "core/database/repository_json.h"

#include <map>
#include <memory>

namespace tarvesk::core {

// Features by name, from files with the array "features".
class JsonFeaturesRepository : public RepositoryJson
{
public:
    void initializeRepository(const std::string& name, const std::string& json) override;

    std::shared_ptr<FeatureRecord> getById(const std::string& featureName) const;

private:
    std::map<std::string, std::shared_ptr<FeatureRecord>> _items;
};

} // namespace tarvesk::core
