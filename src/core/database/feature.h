#pragma once

#include <string>
#include <vector>

namespace tarvesk::core {

// A named bundle of parameters that a profile type can carry. The parameter
// ids are kept once each, in the order they were first added.
class Feature
{
public:
    explicit Feature(std::string id);

    const std::string& getFeatureId() const { return _id; }
    void addParameterIds(const std::vector<std::string>& ids);
    const std::vector<std::string>& getParameterIds() const { return _parameterIds; }

private:
    std::string _id;
    std::vector<std::string> _parameterIds;
};

} // namespace tarvesk::core
