#include "core/database/device_info_database.h"

#include "core/core_errors.h"
#include "core/database/json_features_repository.h"
#include "core/database/json_groups_repository.h"
#include "core/database/json_oem_repository.h"
#include "core/database/json_product_repository.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace tarvesk::core {

void DeviceInfoDatabase::initializeRepositories()
{
    addRepository(DeviceInfoDatabaseType::product, std::make_shared<JsonProductRepository>());
    addRepository(DeviceInfoDatabaseType::oem, std::make_shared<JsonOemRepository>());
    addRepository(DeviceInfoDatabaseType::features, std::make_shared<JsonFeaturesRepository>());
    addRepository(DeviceInfoDatabaseType::groups, std::make_shared<JsonGroupsRepository>());
}

void DeviceInfoDatabase::addRepository(
    DeviceInfoDatabaseType type, std::shared_ptr<RepositoryInterface> repository)
{
    _repositories[type] = std::move(repository);
}

std::shared_ptr<RepositoryInterface> DeviceInfoDatabase::repository(DeviceInfoDatabaseType type) const
{
    const auto it = _repositories.find(type);
    if (it == _repositories.end() || !it->second)
        throw JsonParseError("JSON repository not found for type: " + std::to_string(int(type)));
    return it->second;
}

template <typename T>
std::shared_ptr<T> DeviceInfoDatabase::typedRepository(
    DeviceInfoDatabaseType type, const char* className) const
{
    auto typed = std::dynamic_pointer_cast<T>(repository(type));
    if (!typed)
        throw JsonParseError(std::string("JSON repository is not of type ") + className);
    return typed;
}

void DeviceInfoDatabase::initDataFromString(
    DeviceInfoDatabaseType type, const std::string& name, const std::string& json)
{
    repository(type)->initializeRepository(name, json);
}

void DeviceInfoDatabase::initializeProductGroupSorting(const std::string& name, const std::string& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonParseError(
            "Failed to parse JSON for group " + name + " : " + error.errorString().toStdString());
    if (!document.isObject())
        throw JsonParseError("JSON is not an object");
    const QJsonObject object = document.object();
    if (!object.contains(QStringLiteral("group_sorting")))
        throw JsonParseError("JSON does not contain group_sorting");
    if (!object.value(QStringLiteral("group_sorting")).isArray())
        throw JsonParseError("group_sorting is not an array");
    const QJsonArray array = object.value(QStringLiteral("group_sorting")).toArray();
    for (const QJsonValue& value : array) {
        if (value.isString())
            _groupSorting.push_back(value.toString().toStdString());
    }
}

std::shared_ptr<OemInfoRecord> DeviceInfoDatabase::getOemRecord(unsigned char oemId)
{
    const auto it = _repositories.find(DeviceInfoDatabaseType::oem);
    const auto repository
        = it == _repositories.end() ? nullptr : std::dynamic_pointer_cast<JsonOemRepository>(it->second);
    return repository ? repository->getById(oemId) : nullptr;
}

std::shared_ptr<DeviceInfoRecord> DeviceInfoDatabase::getProductRecord(
    unsigned char deviceClass, unsigned char oemId, unsigned char productId, unsigned short version) const
{
    const auto it = _repositories.find(DeviceInfoDatabaseType::product);
    const auto repository
        = it == _repositories.end() ? nullptr : std::dynamic_pointer_cast<JsonProductRepository>(it->second);
    return repository ? repository->findRecord(deviceClass, oemId, productId, version) : nullptr;
}

void DeviceInfoDatabase::getProductList(std::vector<std::shared_ptr<DeviceInfoRecord>>& list) const
{
    const auto it = _repositories.find(DeviceInfoDatabaseType::product);
    const auto repository
        = it == _repositories.end() ? nullptr : std::dynamic_pointer_cast<JsonProductRepository>(it->second);
    if (repository)
        repository->getItems(list);
}

std::shared_ptr<JsonOemRepository> DeviceInfoDatabase::getOemRepository() const
{
    return typedRepository<JsonOemRepository>(DeviceInfoDatabaseType::oem, "JsonOemRepository");
}

std::shared_ptr<JsonProductRepository> DeviceInfoDatabase::getProductRepository() const
{
    return typedRepository<JsonProductRepository>(DeviceInfoDatabaseType::product, "JsonProductRepository");
}

std::shared_ptr<JsonGroupsRepository> DeviceInfoDatabase::getGroupRepository() const
{
    return typedRepository<JsonGroupsRepository>(DeviceInfoDatabaseType::groups, "JsonGroupsRepository");
}

std::shared_ptr<JsonFeaturesRepository> DeviceInfoDatabase::getFeaturesRepository() const
{
    return typedRepository<JsonFeaturesRepository>(
        DeviceInfoDatabaseType::features, "JsonFeaturesRepository");
}

void DeviceInfoDatabase::resolveGroupsAndFeatures() const
{
    getGroupRepository()->resolveFeatures(getFeaturesRepository());
    getProductRepository()->resolveGroupsAndFeatures(getGroupRepository());
}

} // namespace tarvesk::core
