#pragma once

#include "core/database/oem_info_record.h"
#include "core/database/repository_json.h"

#include <cstdint>
#include <map>
#include <memory>

namespace tarvesk::core {

// OEMs by id, from files with the array "oem".
class JsonOemRepository : public RepositoryJson
{
public:
    void initializeRepository(const std::string& name, const std::string& json) override;

    // The OEM of that id, or null.
    std::shared_ptr<OemInfoRecord> getById(uint64_t oemId) const;

private:
    std::map<uint64_t, std::shared_ptr<OemInfoRecord>> _items;
};

} // namespace tarvesk::core
