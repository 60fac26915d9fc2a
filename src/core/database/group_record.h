#pragma once

#include <string>
#include <vector>

namespace tarvesk::core {

// One product group: its own features and the groups whose features it
// includes. The include resolution appends the included features once.
class GroupRecord
{
public:
    GroupRecord(std::string key, std::string name, bool abstract, std::vector<std::string> features,
        std::vector<std::string> includes);

    const std::string& getKey() const { return _key; }
    const std::string& getName() const { return _name; }
    bool isAbstract() const { return _abstract; }
    bool isInitialized() const { return _initialized; }
    void setInitialized(bool initialized) { _initialized = initialized; }
    std::vector<std::string> getFeatures() const { return _features; }
    std::vector<std::string> getIncludes() const { return _includes; }

    // Appends the ids at the end of the feature list, duplicates included.
    void addFeatures(const std::vector<std::string>& features);

private:
    std::string _key;
    std::string _name;
    bool _abstract;
    bool _initialized = false;
    std::vector<std::string> _features;
    std::vector<std::string> _includes;
};

} // namespace tarvesk::core
