#pragma once

#include <string>

namespace tarvesk::core {

class DeviceInfoRecord;
class IProfileTypeParameters;

// Enables one feature of a profile type: adds the feature's parameters to the
// profile type's schema. Throws FeatureError when it cannot.
class IFeatureLoader
{
public:
    virtual ~IFeatureLoader() = default;
    virtual void loadFeature(
        IProfileTypeParameters* parameters, DeviceInfoRecord* record, const std::string& featureId) const = 0;
};

} // namespace tarvesk::core
