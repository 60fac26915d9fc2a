#pragma once

#include "core/database/ifeature_repository.h"

#include <map>

namespace tarvesk::core {

// Features by id; the first feature of an id is kept.
class FeatureRepository : public IFeatureRepository
{
public:
    void addFeature(std::shared_ptr<Feature> feature) override;
    std::shared_ptr<Feature> getFeature(std::string id) const override;

private:
    std::map<std::string, std::shared_ptr<Feature>> _features;
};

// Adds the eight D4i memory-bank features (IEC 62386 Parts 250 to 253).
void loadFeaturesForD4i(std::shared_ptr<FeatureRepository>& repository);

} // namespace tarvesk::core
