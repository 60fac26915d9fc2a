#pragma once

#include "core/script/ifeature_loader.h"

#include <memory>

namespace tarvesk::core {

class IFeatureRepository;
class IParameterRepository;

// Enables features built in code: the feature's parameter ids come from the
// feature repository, their definitions from the parameter repository. Each
// parameter joins the schema as "dev0_" + its id and is owned by the schema.
class FeatureLoader : public IFeatureLoader
{
public:
    FeatureLoader(
        std::shared_ptr<IFeatureRepository> features, std::shared_ptr<IParameterRepository> parameters);

    void loadFeature(IProfileTypeParameters* parameters, DeviceInfoRecord* record,
        const std::string& featureId) const override;

private:
    std::shared_ptr<IFeatureRepository> _features;
    std::shared_ptr<IParameterRepository> _parameters;
};

} // namespace tarvesk::core
