#pragma once

#include <string>

namespace tarvesk::core {

// A repository of the product database, filled from one JSON file at a time.
class RepositoryInterface
{
public:
    virtual ~RepositoryInterface() = default;

    // Adds the entries of one file; name labels error messages. Data faults
    // throw JsonParseError; entries added before the fault stay.
    virtual void initializeRepository(const std::string& name, const std::string& json) = 0;
};

} // namespace tarvesk::core
