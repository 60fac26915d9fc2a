#pragma once

#include "core/database/device_info_record.h"
#include "core/database/repository_json.h"

#include <QJsonObject>
#include <QJsonValue>
#include <cstdint>
#include <map>
#include <memory>

namespace tarvesk::core {

class JsonGroupsRepository;

// Product records by unique product key (class, OEM, product, minimum version),
// from files with the array "products". The first entry of a key wins.
class JsonProductRepository : public RepositoryJson
{
public:
    void initializeRepository(const std::string& name, const std::string& json) override;

    std::shared_ptr<DeviceInfoRecord> getById(uint64_t key) const;

    // Appends every record, in key order.
    void getItems(std::vector<std::shared_ptr<DeviceInfoRecord>>& items) const;

    // The largest minimum version of the product that is not above the
    // device's version, or 0 when there is none.
    unsigned short getMaximumMinVersion(unsigned char deviceClass, unsigned char oemId,
        unsigned char productId, unsigned short version) const;

    // The record that applies to that device version, or null.
    std::shared_ptr<DeviceInfoRecord> findRecord(unsigned char deviceClass, unsigned char oemId,
        unsigned char productId, unsigned short version) const;

    // Gives every product the resolved features of its groups (the last group
    // listed wins); an unknown group throws JsonParseError.
    void resolveGroupsAndFeatures(const std::shared_ptr<JsonGroupsRepository>& groups) const;

    std::shared_ptr<DeviceInfoRecord> parseAndAddProduct(const QJsonObject& object);
    void getDeviceGroups(const QJsonObject& object, std::vector<std::string>& groups);
    void parseFormFactorValue(const std::shared_ptr<DeviceInfoRecord>& record, const QJsonValue& value);

    int64_t getRequiredInteger(const QJsonObject& object, const std::string& key, int64_t min, int64_t max);
    std::string getRequiredString(const QJsonObject& object, const std::string& key);
    int64_t getOptionalInteger(
        const QJsonObject& object, const std::string& key, int64_t defaultValue, int64_t min, int64_t max);
    bool getOptionalBoolean(const QJsonObject& object, const std::string& key, bool defaultValue);
    std::string getOptionalString(
        const QJsonObject& object, const std::string& key, const std::string& defaultValue);

private:
    static std::string productName(const QJsonObject& object);
    static std::string where(const QJsonObject& object);

    std::map<uint64_t, std::shared_ptr<DeviceInfoRecord>> _items;
};

} // namespace tarvesk::core
