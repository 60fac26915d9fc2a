#pragma once

#include <string>

namespace tarvesk::core {

// One OEM of the product database.
class OemInfoRecord
{
public:
    OemInfoRecord(int oemId, std::string name, int rdmId);

    int getOemId() const { return _oemId; }
    const std::string& getName() const { return _name; }
    int getRdmId() const { return _rdmId; }

private:
    int _oemId;
    std::string _name;
    int _rdmId;
};

} // namespace tarvesk::core
