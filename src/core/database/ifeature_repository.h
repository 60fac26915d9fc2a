#pragma once

#include <memory>
#include <string>

namespace tarvesk::core {

class Feature;

class IFeatureRepository
{
public:
    virtual ~IFeatureRepository() = default;
    virtual void addFeature(std::shared_ptr<Feature> feature) = 0;
    // The feature of that id; an unknown id throws FeatureError.
    virtual std::shared_ptr<Feature> getFeature(std::string id) const = 0;
};

} // namespace tarvesk::core
