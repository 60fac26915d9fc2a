#include "core/database/json_groups_repository.h"

#include "core/core_errors.h"

#include <algorithm>

namespace tarvesk::core {

void JsonGroupsRepository::initializeRepository(const std::string& name, const std::string& json)
{
    const QJsonArray array = getArrayFromJson(name, "groups", json);
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            throw JsonParseError("JSON group array contains non-object");
        const QJsonObject object = element.toObject();
        const auto key = stringValue(object, "dot_name", "JSON group object");
        if (!key)
            throw JsonParseError("JSON group object does not contain \"dot_name\"");
        const std::string where = "JSON group object with dot_name " + *key;
        const std::string groupName = stringValue(object, "name", where).value_or(std::string());
        const bool abstract = booleanValue(object, "abstract", where).value_or(false);
        std::vector<std::string> features
            = stringListValue(object, "features", where).value_or(std::vector<std::string>());
        std::vector<std::string> includes
            = stringListValue(object, "includes", where).value_or(std::vector<std::string>());
        _items.emplace(*key, std::make_shared<GroupRecord>(*key, groupName, abstract, features, includes));
    }
}

std::shared_ptr<GroupRecord> JsonGroupsRepository::getById(const std::string& key) const
{
    const auto it = _items.find(key);
    return it == _items.end() ? nullptr : it->second;
}

void JsonGroupsRepository::getNameList(
    const QJsonObject& object, const std::string& key, std::vector<std::string>& list)
{
    const auto names = stringListValue(object, key, "JSON object");
    if (names)
        list.insert(list.end(), names->begin(), names->end());
}

void JsonGroupsRepository::resolveFeatures(const std::shared_ptr<JsonFeaturesRepository>& features)
{
    for (const auto& entry : _items)
        initializeGroup(entry.second, features);
}

void JsonGroupsRepository::initializeGroup(
    const std::shared_ptr<GroupRecord>& group, const std::shared_ptr<JsonFeaturesRepository>& /*features*/)
{
    // Feature names are not checked against the features repository: a
    // feature may be one that only the scripts or the built-in loaders know.
    std::vector<std::string> path;
    initializeGroup(group, path);
}

void JsonGroupsRepository::initializeGroup(
    const std::shared_ptr<GroupRecord>& group, std::vector<std::string>& path)
{
    if (group->isInitialized())
        return;
    path.push_back(group->getKey());
    for (const std::string& key : group->getIncludes()) {
        const auto included = getById(key);
        if (!included)
            throw JsonParseError("Include group " + key + " not found");
        const auto cycleStart = std::find(path.begin(), path.end(), key);
        if (cycleStart != path.end()) {
            std::string cycle;
            for (auto step = cycleStart; step != path.end(); ++step)
                cycle += *step + " -> ";
            throw JsonParseError("Include cycle in group " + key + ": " + cycle + key);
        }
        initializeGroup(included, path);
        group->addFeatures(included->getFeatures());
    }
    path.pop_back();
    group->setInitialized(true);
}

} // namespace tarvesk::core
