#pragma once

#include "core/database/device_info_database_type.h"
#include "core/database/device_info_record.h"
#include "core/database/oem_info_record.h"
#include "core/database/repository_interface.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarvesk::core {

class JsonOemRepository;
class JsonProductRepository;
class JsonGroupsRepository;
class JsonFeaturesRepository;

// The product database: OEMs, products, features and groups read from the
// JSON files of the data package, and the order in which clients sort the
// product groups. Built on one thread, then only read.
class DeviceInfoDatabase
{
public:
    void initializeRepositories();
    void addRepository(DeviceInfoDatabaseType type, std::shared_ptr<RepositoryInterface> repository);

    // Hands a file's text to the repository of that type; name labels errors.
    void initDataFromString(DeviceInfoDatabaseType type, const std::string& name, const std::string& json);
    void initializeProductGroupSorting(const std::string& name, const std::string& json);
    const std::vector<std::string>& getGroupSorting() const { return _groupSorting; }

    // Lookups never throw: an unknown key (or a database not yet filled) gives null.
    std::shared_ptr<OemInfoRecord> getOemRecord(unsigned char oemId);
    std::shared_ptr<DeviceInfoRecord> getProductRecord(unsigned char deviceClass, unsigned char oemId,
        unsigned char productId, unsigned short version) const;
    // Appends every product record in key order (the vector is not cleared).
    void getProductList(std::vector<std::shared_ptr<DeviceInfoRecord>>& list) const;

    // The repository of that kind; an empty slot or a repository of another
    // class throws JsonParseError.
    std::shared_ptr<JsonOemRepository> getOemRepository() const;
    std::shared_ptr<JsonProductRepository> getProductRepository() const;
    std::shared_ptr<JsonGroupsRepository> getGroupRepository() const;
    std::shared_ptr<JsonFeaturesRepository> getFeaturesRepository() const;

    // Group includes first, then each product's features.
    void resolveGroupsAndFeatures() const;

private:
    std::shared_ptr<RepositoryInterface> repository(DeviceInfoDatabaseType type) const;
    template <typename T>
    std::shared_ptr<T> typedRepository(DeviceInfoDatabaseType type, const char* className) const;

    std::map<DeviceInfoDatabaseType, std::shared_ptr<RepositoryInterface>> _repositories;
    std::vector<std::string> _groupSorting;
};

} // namespace tarvesk::core
