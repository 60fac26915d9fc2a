#pragma once

#include <string>
#include <vector>

namespace tarvesk::core {

// One named feature of the product database's features file.
class FeatureRecord
{
public:
    FeatureRecord(std::string name, std::string displayName, std::vector<std::string> list);

    const std::string& getName() const { return _name; }
    const std::string& getDisplayName() const { return _displayName; }
    const std::vector<std::string>& getList() const { return _list; }

private:
    std::string _name;
    std::string _displayName;
    std::vector<std::string> _list;
};

} // namespace tarvesk::core
